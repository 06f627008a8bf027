"use strict";

// Typesets formulas for the preview page, away from the page's own thread,
// so a formula that takes long holds only this worker, which the page ends
// when the formula is over its time.
//
// A job: { id, source, display, output ("html" or "mathml"), chain }. The
// chain lists the formulas, in order, whose global definitions hold before
// this one; their definitions are made again from them when this worker has
// not seen them yet. The answer: { id, tree } with the typeset tree as plain
// data, or { id, error }; for an HTML job also the definitions after the
// formula when it changed them.
importScripts("katex/katex.min.js", "katex/contrib/mhchem.js");

// The typesetter builds its output through the document's calls; here they
// make plain records the page turns into elements: a string is a text node;
// an element is { t: tag, n: namespace, c: class, s: styles, a: attributes,
// k: children }.
class Element {
    constructor(tag, namespace) {
        this.t = tag;
        if (namespace !== undefined)
            this.n = namespace;
        this.className = "";
        this.style = {};
        this.k = [];
    }

    setAttribute(name, value) {
        if (this.a === undefined)
            this.a = {};
        this.a[name] = String(value);
    }

    appendChild(child) {
        if (child instanceof Fragment)
            this.k.push(...child.k);
        else
            this.k.push(child);
        return child;
    }
}

class Fragment extends Element {
    constructor() {
        super("");
    }
}

self.document = {
    createElement: (tag) => new Element(tag),
    createElementNS: (namespace, tag) => new Element(tag, namespace),
    createTextNode: (text) => String(text),
    createDocumentFragment: () => new Fragment(),
};

// Plain data for the page: class and styles only where there are any.
function record(node) {
    if (typeof node === "string")
        return node;
    const result = { t: node.t, k: node.k.map(record) };
    if (node.n !== undefined)
        result.n = node.n;
    if (node.className !== "")
        result.c = node.className;
    if (Object.keys(node.style).length > 0)
        result.s = node.style;
    if (node.a !== undefined)
        result.a = node.a;
    return result;
}

function options(display, output, macros) {
    return {
        displayMode: display,
        output: output,
        throwOnError: true,
        trust: false,
        strict: "ignore",
        maxExpand: 1000,
        maxSize: 50,
        macros: macros,
    };
}

// A compact description of the definitions, which tells whether a formula
// changed them.
function describeMacro(value) {
    if (typeof value === "string")
        return value;
    if (value && Array.isArray(value.tokens)) {
        return JSON.stringify([value.numArgs, value.delimiters || null, !!value.unexpandable,
            value.tokens.map((token) => token.text)]);
    }
    return String(value);
}

function describeMacros(macros) {
    const names = Object.keys(macros);
    if (names.length === 0)
        return "";
    names.sort();
    return JSON.stringify(names.map((name) => [name, describeMacro(macros[name])]));
}

// The names whose expansion may make a global definition: those that hold
// \gdef, \xdef or \global, or another such name. A formula that uses one of
// them may change the definitions for the formulas after it.
function definingNames(macros) {
    const names = new Set();
    const bodies = Object.keys(macros).map((name) => {
        const value = macros[name];
        const words = typeof value === "string" ? value.match(/\\(?:[A-Za-z@]+|.)/g) || []
            : value && Array.isArray(value.tokens) ? value.tokens.map((token) => token.text) : [];
        return { name: name, words: words };
    });
    const defining = new Set(["\\gdef", "\\xdef", "\\global"]);
    let isGrowing = true;
    while (isGrowing) {
        isGrowing = false;
        for (const body of bodies) {
            if (!names.has(body.name) && body.words.some((word) => defining.has(word))) {
                names.add(body.name);
                defining.add(body.name);
                isGrowing = true;
            }
        }
    }
    return Array.from(names);
}

// The definitions after each chain seen, by the chain's description.
const definitions = new Map();
const MaxKeptDefinitions = 64;

function macrosAfter(chain) {
    if (chain.length === 0)
        return {};
    const key = JSON.stringify(chain);
    let macros = definitions.get(key);
    if (macros !== undefined)
        return macros;
    const last = chain[chain.length - 1];
    macros = Object.assign({}, macrosAfter(chain.slice(0, -1)));
    try {
        katex.__parse(last.source, options(last.display, "html", macros));
    } catch (error) {
        // The definitions made before the error hold, as when it was shown.
    }
    keep(key, macros);
    return macros;
}

function keep(key, macros) {
    if (definitions.size >= MaxKeptDefinitions)
        definitions.delete(definitions.keys().next().value);
    definitions.set(key, macros);
}

function describe(error) {
    if (error instanceof katex.ParseError) {
        const described = { isTeX: true, message: String(error.message).replace(/^KaTeX parse error: /, "") };
        // Where in the formula's source the typesetter stopped, when it knows.
        if (Number.isInteger(error.position)) {
            described.at = error.position;
            described.length = Number.isInteger(error.length) ? error.length : 0;
        }
        return described;
    }
    return { isTeX: false, message: String(error && error.message || error) };
}

function typeset(job) {
    const before = macrosAfter(job.chain);
    const macros = Object.assign({}, before);
    const answer = { id: job.id };
    try {
        answer.tree = record(katex.__renderToDomTree(job.source, options(job.display, job.output, macros)).toNode());
    } catch (error) {
        answer.error = describe(error);
    }
    if (job.output === "html") {
        const after = describeMacros(macros);
        if (after !== describeMacros(before)) {
            answer.definitions = after;
            answer.definingNames = definingNames(macros);
            keep(JSON.stringify(job.chain.concat([{ source: job.source, display: job.display }])), macros);
        }
    }
    return answer;
}

self.onmessage = (event) => {
    for (const job of event.data)
        self.postMessage(typeset(job));
};
self.postMessage({ isReady: true });
