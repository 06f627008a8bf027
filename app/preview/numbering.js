"use strict";

// The numbers of the page's numbered display formulas (equation, align and
// the like). The typesetter numbers them with a counter of the style sheet,
// but a part of the page kept from layout while out of view also keeps its
// counters to itself, so in a long text each block would count from one
// again. Each numbered formula therefore starts the counter at the count of
// the numbered lines before it. A formula with a number (or a tag) is
// marked, so that when it is wider than the preview its number comes after
// it, where its scroll bar reaches, rather than over it.
(function () {
    // How many numbered lines a shown piece holds, once it is drawn.
    function numbersIn(entry) {
        if (!entry.isDisplay || !entry.isAnswered)
            return 0;
        if (entry.numbers === undefined) {
            entry.numbers = entry.node.getElementsByClassName("eqn-num").length;
            const display = entry.node.querySelector(".katex-display");
            if (display !== null && display.getElementsByClassName("tag").length > 0)
                display.classList.add("preview-tagged");
        }
        return entry.numbers;
    }

    // Walks the shown pieces in order; only a formula whose count before it
    // changed is touched.
    function renumber(entries) {
        let count = 0;
        for (const entry of entries) {
            const numbers = numbersIn(entry);
            if (numbers === 0)
                continue;
            if (entry.numberedFrom !== count) {
                const display = entry.node.querySelector(".katex-display");
                if (display !== null)
                    display.style.counterReset = "katexEqnNo " + count;
                entry.numberedFrom = count;
            }
            count += numbers;
        }
    }

    Object.defineProperty(window, "equationNumbers", {
        value: Object.freeze({ renumber: renumber }),
        writable: false,
        configurable: false,
    });
})();
