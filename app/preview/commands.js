"use strict";

// Commands of a paper's formulas the typesetter lacks, made out of what it
// has: \label, \ref and \eqref, \ensuremath, the rules of booktabs, and the
// multline environment. Loaded after the typesetter, in the typesetting
// workers and in the page for its copies. texCommands.prepare(source) gives
// the source the typesetter reads; labelsOf() finds the labels of a display
// formula and the numbered row each stands in; trust() lets through only the
// marks these commands make.
(function () {
    // The marks of labels and references carry this, so a formula written by
    // the user can never make one.
    const seal = "tamsel" + Math.random().toString(36).slice(2, 12) + Date.now().toString(36);

    // A key as letters and digits, whatever characters the key has.
    function encodeKey(key) {
        return Array.from(key, (c) => c.codePointAt(0).toString(16).padStart(6, "0")).join("");
    }

    function argumentText(context) {
        return context.consumeArg().tokens.map((token) => token.text).reverse().join("").trim();
    }

    // While the labels of a formula are looked for, a label leaves a mark in
    // the formula's parse tree; when it is drawn, nothing.
    let isLocating = false;

    function label(context) {
        const key = argumentText(context);
        return isLocating ? "\\htmlId{" + seal + "-" + encodeKey(key) + "}{}" : "";
    }

    // A reference draws "??" in a mark the page fills with the number once
    // it knows the numbers of the whole page (references.js).
    function reference(kind) {
        return (context) => {
            const key = argumentText(context);
            const shown = kind === "eq" ? "(??)" : "??";
            return "\\htmlData{tamselref=" + seal + "." + kind + "." + encodeKey(key) + "}{\\text{" + shown + "}}";
        };
    }

    // \cmidrule(lr){2-3} takes its trim and columns; the rule is drawn across
    // the whole table, the only rule the typesetter has.
    function partialRule(context) {
        if (context.future().text === "(") {
            while (context.future().text !== ")" && context.future().text !== "EOF")
                context.popToken();
            context.popToken();
        }
        context.consumeArg();
        return "\\hline";
    }

    const Macros = {
        "\\label": label,
        "\\eqref": reference("eq"),
        "\\ref": reference("ref"),
        "\\ensuremath": (context) => context.mode === "text" ? "$#1$" : "{#1}",
        "\\toprule": "\\hline",
        "\\midrule": "\\hline",
        "\\bottomrule": "\\hline",
        "\\cmidrule": partialRule,
        "\\addlinespace": "",
    };

    function install() {
        for (const name of Object.keys(Macros))
            katex.__defineMacro(name, Macros[name]);
    }

    // Only the marks of labels and references are trusted, and only with
    // the seal; every other command that asks for trust is refused.
    function trust(context) {
        if (context.command === "\\htmlId")
            return String(context.id).startsWith(seal + "-");
        if (context.command === "\\htmlData") {
            const names = Object.keys(context.attributes || {});
            return names.length === 1 && names[0] === "data-tamselref"
                && String(context.attributes["data-tamselref"]).startsWith(seal + ".");
        }
        return false;
    }

    // multline: the first line to the left, the last to the right, the rest
    // centred, all under one number. Each line stands in a column as wide as
    // the widest line (the phantom of all of them), lapping out of it to
    // its side.
    const Multline = /\\begin\{multline(\*?)\}([\s\S]*?)\\end\{multline\1\}/g;

    function rowsOf(body) {
        const rows = [];
        let depth = 0;
        let start = 0;
        for (let i = 0; i < body.length; ++i) {
            const c = body[i];
            if (c === "\\" && body[i + 1] === "\\" && depth === 0) {
                rows.push(body.slice(start, i));
                start = i + 2;
                ++i;
            } else if (c === "\\") {
                ++i;
            } else if (c === "{") {
                ++depth;
            } else if (c === "}") {
                --depth;
            }
        }
        rows.push(body.slice(start));
        return rows;
    }

    function multline(match, star, body) {
        const rows = rowsOf(body).map((row) => "\\displaystyle{" + row + "}");
        // The lines' copies only give the width: their labels are the lines'.
        const copies = rows.map((row) => row.replace(/\\label\s*\{[^{}]*\}/g, ""));
        const equation = "equation" + star;
        if (rows.length < 2)
            return "\\begin{" + equation + "}" + rows.join("") + "\\end{" + equation + "}";
        const width = "\\hphantom{\\begin{matrix}" + copies.join("\\\\") + "\\end{matrix}\\qquad}";
        const lines = rows.map((row, index) => index === 0 ? "\\mathrlap{" + row + "}" + width
            : index === rows.length - 1 ? width + "\\mathllap{" + row + "}" : row);
        return "\\begin{" + equation + "}\\begin{gathered}" + lines.join("\\\\") + "\\end{gathered}\\end{" + equation + "}";
    }

    function prepare(source) {
        return source.includes("multline") ? source.replace(Multline, multline) : source;
    }

    // The text a tag shows, from its parse tree.
    function textOf(node) {
        if (node === null || typeof node !== "object")
            return "";
        if (Array.isArray(node))
            return node.map(textOf).join("");
        if (typeof node.text === "string" && node.body === undefined)
            return node.text;
        return textOf(node.body);
    }

    // A tag's own text, without the parentheses it is drawn in.
    function tagText(node) {
        return textOf(node).replace(/^\((.*)\)$/, "$1");
    }

    // The labels of a display formula in order: { key, row } with the index
    // of its numbered row among the formula's numbered rows, or { key, tag }
    // for a row with its own tag, or { key } for a label in no numbered row.
    function labelsOf(source, options) {
        isLocating = true;
        let tree = null;
        try {
            tree = katex.__parse(source, options);
        } catch (error) {
            return [];
        } finally {
            isLocating = false;
        }
        const found = [];
        let numbered = 0;
        const prefix = seal + "-";
        const walk = (node, row) => {
            if (node === null || typeof node !== "object")
                return;
            if (Array.isArray(node)) {
                node.forEach((child) => walk(child, row));
                return;
            }
            if (node.type === "html" && node.attributes && String(node.attributes.id).startsWith(prefix)) {
                const hex = node.attributes.id.slice(prefix.length).match(/.{6}/g) || [];
                found.push(Object.assign({ key: String.fromCodePoint(...hex.map((h) => parseInt(h, 16))) }, row));
                return;
            }
            if (node.type === "tag") {
                walk(node.body, { tag: tagText(node.tag) });
                return;
            }
            if (node.type === "array" && Array.isArray(node.tags)) {
                node.body.forEach((cells, index) => {
                    const tag = node.tags[index];
                    walk(cells, tag === true ? { row: numbered++ } : tag ? { tag: tagText(tag) } : {});
                });
                return;
            }
            for (const name of Object.keys(node)) {
                if (name !== "loc")
                    walk(node[name], row);
            }
        };
        walk(tree, {});
        return found;
    }

    install();

    Object.defineProperty(globalThis, "texCommands", {
        value: Object.freeze({ prepare: prepare, trust: trust, labelsOf: labelsOf }),
        writable: false,
        configurable: false,
    });
})();
