"use strict";

// Typesets formulas for the preview page, away from the page's own thread,
// so a formula that takes long holds only this worker, which the page ends
// when the formula is over its time.
//
// A job: { id, source, display, output ("html" or "mathml"), chain,
// isDefinition }. The chain lists what made the definitions that hold before
// this one, in order (definitions.js); they are made again from it when this
// worker has not seen it yet. A definition standing in the text is made, not
// typeset. The answer: { id, tree } with the typeset tree as plain data, or
// { id, error }; for an HTML job also the definitions after the formula when
// it changed them. A job with isFileCheck answers the definitions after its
// chain, a macros file, and the faults found in the file.
importScripts("katex/katex.min.js", "katex/contrib/mhchem.js", "commands.js", "definitions.js");

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

// The definitions after each chain seen, by the chain's description, in
// which the macros file stands for its version. The file's own definitions
// are kept apart, since making them again may take long.
const definitions = new Map();
const MaxKeptDefinitions = 64;
let fileDefinitions = { version: undefined, macros: {}, faults: [] };

function describeChain(chain) {
    return JSON.stringify(chain.map((entry) => entry.file !== undefined ? { file: entry.file } : entry));
}

function macrosOfFile(entry) {
    if (fileDefinitions.version !== entry.file) {
        const macros = {};
        const faults = texDefinitions.applyFile(entry.source, macros);
        fileDefinitions = { version: entry.file, macros: macros, faults: faults };
        self.postMessage({ fileReady: entry.file });
    }
    return fileDefinitions.macros;
}

function macrosAfter(chain) {
    if (chain.length === 0)
        return {};
    if (chain.length === 1 && chain[0].file !== undefined)
        return macrosOfFile(chain[0]);
    const key = describeChain(chain);
    let macros = definitions.get(key);
    if (macros !== undefined)
        return macros;
    macros = Object.assign({}, macrosAfter(chain.slice(0, -1)));
    texDefinitions.apply(chain[chain.length - 1], macros);
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

// Whether a formula made or changed any definition, told cheaply: a
// definition always makes a new value.
function isChanged(before, after) {
    const names = Object.keys(after);
    return names.length !== Object.keys(before).length || names.some((name) => after[name] !== before[name]);
}

// The macros file's definitions and faults.
function checkFile(job) {
    const macros = macrosAfter(job.chain);
    return { id: job.id, definitions: describeMacros(macros), definingNames: definingNames(macros),
        faults: fileDefinitions.faults };
}

// Draws the formula; a command the typesetter lacks is drawn in red in its
// place, its formula with it, and the answer keeps the error. The labels of
// a display formula come with its drawing.
function draw(job, macros, answer) {
    const source = texCommands.prepare(job.source);
    const options = texDefinitions.options(job.display, job.output, macros);
    try {
        answer.tree = record(katex.__renderToDomTree(source, options).toNode());
    } catch (error) {
        if (!(error instanceof katex.ParseError) || !/^KaTeX parse error: Undefined control sequence/.test(error.message))
            throw error;
        const tree = katex.__renderToDomTree(source, Object.assign({}, options, { throwOnError: false }));
        if (tree.classes.includes("katex-error"))
            throw error;
        answer.tree = record(tree.toNode());
        answer.error = describe(error);
    }
    if (job.display && job.output === "html" && source.includes("\\label"))
        answer.labels = texCommands.labelsOf(source, Object.assign({}, options, { macros: Object.assign({}, macros) }));
}

function typeset(job) {
    if (job.isFileCheck)
        return checkFile(job);
    const before = macrosAfter(job.chain);
    const macros = Object.assign({}, before);
    const answer = { id: job.id };
    try {
        if (job.isDefinition)
            texDefinitions.define(job.source, macros);
        else
            draw(job, macros, answer);
    } catch (error) {
        answer.error = describe(error);
    }
    if (job.output === "html" && isChanged(before, macros)) {
        const after = describeMacros(macros);
        if (after !== describeMacros(before)) {
            answer.definitions = after;
            answer.definingNames = definingNames(macros);
            keep(describeChain(job.chain.concat([{ source: job.source, display: job.display,
                isDefinition: job.isDefinition }])), macros);
        }
    }
    return answer;
}

self.onmessage = (event) => {
    for (const job of event.data)
        self.postMessage(typeset(job));
};
self.postMessage({ isReady: true });
