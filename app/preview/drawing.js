"use strict";

// How a worker's answer becomes the page's elements: a typeset formula's
// records become elements (formulaDrawing.materialize), and a formula that
// could not be typeset shows its source and the reason in the element that
// was to hold it (formulaDrawing.showError).
(function () {
    function describe(error) {
        if (error.isTimeout) {
            const seconds = (error.budgetMs !== undefined ? error.budgetMs : typesetWorkers.budgetMs) / 1000;
            return "The formula takes too long to typeset (over " + seconds + " seconds)."
                + (error.isTriedAgain ? " It is tried again with more time when the preview is idle." : "");
        }
        if (error.isTeX)
            return error.message;
        return "The formula cannot be typeset: " + error.message;
    }

    // Turns a typeset formula into the elements it stands for.
    function materialize(record) {
        if (typeof record === "string")
            return document.createTextNode(record);
        const element = record.n === undefined ? document.createElement(record.t)
            : document.createElementNS(record.n, record.t);
        if (record.c !== undefined)
            element.setAttribute("class", record.c);
        if (record.s !== undefined) {
            for (const name of Object.keys(record.s))
                element.style[name] = record.s[name];
        }
        if (record.a !== undefined) {
            for (const name of Object.keys(record.a))
                element.setAttribute(name, record.a[name]);
        }
        for (const child of record.k)
            element.appendChild(materialize(child));
        return element;
    }

    // A formula that could not be typeset shows its source and the reason,
    // in the element that was to hold it.
    function showError(holder, source, error) {
        holder.classList.remove("preview-display", "preview-inline", "preview-definition");
        holder.classList.add("preview-error");
        const code = document.createElement("span");
        code.className = "preview-source";
        code.textContent = source;
        const message = document.createElement("span");
        message.className = "preview-message";
        message.textContent = describe(error);
        holder.replaceChildren(code, message);
    }

    // A formula drawn in spite of an error says why after its drawing.
    function addMessage(holder, error) {
        holder.classList.add("preview-partial");
        const message = document.createElement("span");
        message.className = "preview-message";
        message.textContent = describe(error);
        holder.append(message);
    }

    // KaTeX writes a few styles as style attributes (on the SVG parts of
    // stretched delimiters and accents, and in the MathML copy of \pmb or
    // \fcolorbox), which the page's policy refuses. On this page such an
    // attribute goes through the element's style object instead: the policy
    // allows that, and it draws the same. An element without a style object
    // (MathML where the engine does not style it) only loses a style it would
    // not draw.
    const setAttribute = Element.prototype.setAttribute;

    Element.prototype.setAttribute = function (name, value) {
        if (String(name).toLowerCase() !== "style")
            return setAttribute.call(this, name, value);
        if (this.style instanceof CSSStyleDeclaration)
            this.style.cssText = String(value);
    };

    Object.defineProperty(window, "formulaDrawing", {
        value: Object.freeze({ materialize: materialize, showError: showError, addMessage: addMessage, describe: describe }),
        writable: false,
        configurable: false,
    });
})();
