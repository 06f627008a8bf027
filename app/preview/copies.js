"use strict";

// The formulas' copies for screen readers (MathML). Each formula drawn gets
// one, made by the workers after every drawing waiting, so the copies never
// hold a refresh up: screenReaderCopies.addLater(holder, source, display,
// chain).
(function () {
    function find(record, tag) {
        if (typeof record === "string")
            return null;
        if (record.t === tag)
            return record;
        for (const child of record.k) {
            const found = find(child, tag);
            if (found !== null)
                return found;
        }
        return null;
    }

    // A formula's copy for screen readers (MathML) is made after every
    // drawing waiting, from the same source and definitions; a formula that
    // left the page meanwhile gets none.
    function addCopyLater(holder, source, display, chain) {
        typesetWorkers.submit({
            holder: holder, source: source, display: display, output: "mathml", chain: chain,
            done: (answer) => {
                if (answer.tree !== undefined && !holder.isGone)
                    addCopy(holder, answer.tree);
            },
        });
    }

    function addCopy(holder, tree) {
        const html = holder.querySelector(".katex-html");
        const math = find(tree, "math");
        if (html === null || math === null)
            return;
        const copy = document.createElement("span");
        copy.className = "katex-mathml";
        copy.append(formulaDrawing.materialize(math));
        html.before(copy);
        html.setAttribute("aria-hidden", "true");
    }

    Object.defineProperty(window, "screenReaderCopies", {
        value: Object.freeze({ addLater: addCopyLater }),
        writable: false,
        configurable: false,
    });
})();
