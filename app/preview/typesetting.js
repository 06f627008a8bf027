"use strict";

// The preview page's typesetting: typesetting.typeset() fills an element
// with a formula, typeset on the page when the typesetter bounds its work
// (onpage.js) or else by a worker (workers.js), or with its source and
// the reason it cannot be shown; a formula that leaves the page is marked
// isGone on its element. checkFile() makes the macros file's definitions.
// The page's script hears through whenSettled() when every formula it asked
// for is done, and through whenRedrawn() when a formula shown as an error
// was typeset again later; afterPaint() runs a callback once the next frame
// has been drawn.
(function () {
    // Typesets the formula into the holder (a definition standing in the
    // text is only made, and shows nothing unless it fails). Calls back with
    // the worker's answer once the drawing is in; the promise it returns is
    // fulfilled then, or once the formula turns out slow, whichever is first.
    function typeset(holder, source, display, chain, onAnswer, isDefinition) {
        const onPage = pageTypesetter.typeset(holder, source, display, chain, isDefinition === true);
        if (onPage !== null) {
            if (onPage.error !== undefined)
                formulaDrawing.showError(holder, source, onPage.error);
            onAnswer(onPage);
            return Promise.resolve();
        }
        return new Promise((resolve) => {
            typesetWorkers.submit({
                holder: holder, source: source, display: display, output: "html", chain: chain,
                isDefinition: isDefinition === true, slow: resolve,
                done: (answer) => {
                    // A formula over its time is tried again later, and its
                    // drawing then takes the error's place.
                    const isAgain = holder.classList.contains("preview-error");
                    if (answer.tree !== undefined) {
                        if (isAgain) {
                            holder.classList.replace("preview-error",
                                isDefinition ? "preview-definition" : display ? "preview-display" : "preview-inline");
                            holder.replaceChildren();
                        }
                        holder.append(formulaDrawing.materialize(answer.tree));
                        screenReaderCopies.addLater(holder, source, display, chain);
                        // A formula drawn with a command it lacks marked in
                        // red says why below it.
                        if (answer.error !== undefined)
                            formulaDrawing.addMessage(holder, answer.error);
                    } else if (answer.error !== undefined) {
                        formulaDrawing.showError(holder, source, answer.error);
                    }
                    onAnswer(answer);
                    resolve();
                    if (isAgain && !answer.isDropped)
                        onRedrawn();
                },
            });
        });
    }

    // The answer for the macros file that starts the chain: the definitions
    // after it and its faults, or an error when it takes too long.
    function checkFile(chain) {
        return new Promise((resolve) => {
            typesetWorkers.submit({ holder: {}, source: "", display: false, output: "html", chain: chain,
                isFileCheck: true, done: resolve });
        });
    }

    let onRedrawn = () => {};

    Object.defineProperty(window, "typesetting", {
        value: Object.freeze({
            typeset: typeset,
            checkFile: checkFile,
            isSettled: typesetWorkers.isSettled,
            whenSettled: typesetWorkers.whenSettled,
            whenRedrawn: (callback) => {
                onRedrawn = callback;
            },
            letGoOfGone: typesetWorkers.letGoOfGone,
            afterPaint: typesetWorkers.afterPaint,
        }),
        writable: false,
        configurable: false,
    });
})();
