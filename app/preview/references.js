"use strict";

// Labels and references across the page: pageReferences.resolve(entries)
// gives every \ref and \eqref shown (in formulas and in the prose) the
// number of its label, wherever on the page the label stands, before or
// after the reference, as LaTeX's second run gives. A label takes the number
// of its formula's numbered row, or its tag; a label in an unnumbered row
// the number before it; a label of the prose (prose.js) the number of its
// heading or block. A key without a label shows "??" and is a warning, as is
// a label given twice (the first holds). warnings() lists them as the
// editor marks them.
(function () {
    let warnings = [];

    function decodeKey(hex) {
        const codes = hex.match(/.{6}/g) || [];
        return String.fromCodePoint(...codes.map((code) => parseInt(code, 16)));
    }

    // The reference marks of a shown piece, each { element, key, kind, at }
    // with its place in the piece's source (-1: not known), found once the
    // piece is drawn.
    function marksOf(entry) {
        if (entry.referenceMarks !== undefined)
            return entry.referenceMarks;
        if (entry.node.nodeType !== Node.ELEMENT_NODE)
            return [];
        if (entry.isDisplay !== undefined && !entry.isAnswered)
            return [];
        const marks = [];
        const source = entry.node.previewFormula !== undefined ? entry.node.previewFormula.source : "";
        const commands = Array.from(source.matchAll(/\\(?:eq)?ref\s*\{[^{}]*\}?/g),
            (match) => ({ at: match.index, length: match[0].length }));
        for (const element of entry.node.querySelectorAll("[data-tamselref]")) {
            const parts = element.dataset.tamselref.split(".");
            const command = commands[marks.length] || { at: -1, length: 1 };
            marks.push({ element: element, key: decodeKey(parts[2] || ""), kind: parts[1], at: command.at,
                length: command.length });
        }
        for (const element of entry.node.querySelectorAll(".preview-ref"))
            marks.push({ element: element, key: element.referenceKey, kind: element.referenceKind, at: element.sourceAt,
                length: element.sourceLength });
        entry.referenceMarks = marks;
        return marks;
    }

    // The labels of a shown piece with their numbers: those of a formula
    // from its rows, those of the prose as the prose numbering gave them.
    function labelsOf(entry, count) {
        if (entry.labels !== undefined) {
            return entry.labels.map((label) => ({ key: label.key,
                value: label.tag !== undefined ? label.tag
                    : label.row !== undefined ? String(entry.numberedFrom + label.row + 1) : count > 0 ? String(count) : "" }));
        }
        return entry.proseLabels !== undefined ? entry.proseLabels : [];
    }

    // Where the (last) label of the key stands in a piece's source, or -1.
    function placeOfLabel(entry, key) {
        const source = entry.node.previewFormula !== undefined ? entry.node.previewFormula.source
            : entry.node.proseSource !== undefined ? entry.node.proseSource : "";
        return source.lastIndexOf("\\label{" + key + "}");
    }

    function startOf(entries, index) {
        return index > 0 ? entries[index - 1].end : 0;
    }

    function warning(entries, index, at, length, message) {
        const entry = entries[index];
        const start = startOf(entries, index);
        const end = entry.length !== undefined ? start + entry.length : entry.end;
        const errorAt = at >= 0 ? Math.min(start + (entry.sourceOffset || 0) + at, end - 1) : start;
        return { start: start, end: end, errorAt: errorAt, errorEnd: Math.min(errorAt + Math.max(length, 1), end),
            reach: Math.max(entry.reach, end), message: message, isWarning: true };
    }

    function resolve(entries) {
        const numbers = new Map();
        const found = [];
        let count = 0;
        entries.forEach((entry, index) => {
            if (entry.error !== undefined && entry.labels === undefined)
                return;
            for (const label of labelsOf(entry, count)) {
                if (numbers.has(label.key))
                    found.push(warning(entries, index, placeOfLabel(entry, label.key), ("\\label{" + label.key + "}").length,
                        "Label '" + label.key + "' multiply defined."));
                else
                    numbers.set(label.key, label.value);
            }
            count += entry.numbers || 0;
        });
        entries.forEach((entry, index) => {
            for (const mark of marksOf(entry)) {
                const value = numbers.get(mark.key);
                const number = value === undefined || value === "" ? "??" : value;
                const shown = mark.kind === "eq" ? "(" + number + ")" : number;
                if (value === undefined)
                    found.push(warning(entries, index, mark.at, mark.length, "Reference '" + mark.key + "' undefined."));
                if (mark.element.shownValue === shown)
                    continue;
                mark.element.shownValue = shown;
                const text = document.createElement("span");
                text.className = value === undefined ? "mord preview-unresolved" : "mord";
                text.textContent = shown;
                mark.element.replaceChildren(text);
            }
        });
        warnings = found;
    }

    Object.defineProperty(window, "pageReferences", {
        value: Object.freeze({ resolve: resolve, warnings: () => warnings }),
        writable: false,
        configurable: false,
    });
})();
