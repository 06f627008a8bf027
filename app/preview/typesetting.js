"use strict";

// The preview page's typesetting: typesetting.typeset() fills an element
// with a formula, typeset by a worker (workers.js), or with its source and
// the reason it cannot be shown; a formula that leaves the page is marked
// isGone on its element. The page's script hears through whenSettled() when
// every formula it asked for is done; afterPaint() runs a callback once the
// next frame has been drawn.
(function () {
    // Typesets the formula into the holder. Calls back with the worker's
    // answer once the drawing is in; the promise it returns is fulfilled
    // then, or once the formula turns out slow, whichever is first.
    function typeset(holder, source, display, chain, onAnswer) {
        return new Promise((resolve) => {
            typesetWorkers.submit({
                holder: holder, source: source, display: display, output: "html", chain: chain,
                slow: resolve,
                done: (answer) => {
                    if (answer.tree !== undefined) {
                        holder.append(formulaDrawing.materialize(answer.tree));
                        screenReaderCopies.addLater(holder, source, display, chain);
                    } else if (answer.error !== undefined) {
                        formulaDrawing.showError(holder, source, answer.error);
                    }
                    onAnswer(answer);
                    resolve();
                },
            });
        });
    }

    Object.defineProperty(window, "typesetting", {
        value: Object.freeze({
            typeset: typeset,
            isSettled: typesetWorkers.isSettled,
            whenSettled: typesetWorkers.whenSettled,
            letGoOfGone: typesetWorkers.letGoOfGone,
            afterPaint: typesetWorkers.afterPaint,
        }),
        writable: false,
        configurable: false,
    });
})();
