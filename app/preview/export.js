"use strict";

// Taking formulas out of the preview. The host asks what lies at a point of
// the view (describe), then for the MathML of it or to lay it out alone for
// printing (prepareImage, then finishImage once the print is made). Each
// formula's node carries its source (previewFormula, set as the page shows
// it); a point on no formula stands for the whole preview.
(function () {
    const content = document.getElementById("content");
    const exportBox = document.createElement("div");
    exportBox.id = "export";
    exportBox.setAttribute("aria-hidden", "true");
    document.body.append(exportBox);

    // What the last describe found: a formula's node, or the whole preview.
    let current = null;

    // The typesetter on the page serves only the MathML of a formula (the
    // preview typesets in workers), so it stays out of the page's start: it
    // loads once the first text is on screen, or at the first question about
    // a formula if that comes sooner.
    let typesetterState = "absent";

    function loadTypesetter() {
        if (typesetterState !== "absent")
            return;
        typesetterState = "loading";
        const sources = ["katex/katex.min.js", "katex/contrib/mhchem.js", "commands.js"];
        sources.forEach((source, index) => {
            const script = document.createElement("script");
            script.src = source;
            // Scripts added this way run in the order added.
            script.async = false;
            script.onerror = () => typesetterState = "failed";
            if (index === sources.length - 1)
                script.onload = () => typesetterState = typesetterState === "loading" ? "ready" : typesetterState;
            document.head.append(script);
        });
    }

    document.addEventListener("previewshown", loadTypesetter, { once: true });

    function formulas() {
        return Array.from(content.querySelectorAll(".preview-display, .preview-inline, .preview-error"))
            .filter((node) => node.previewFormula !== undefined);
    }

    // A formula drawn with a command it lacks marked in red leaves only as
    // its TeX, as a formula that could not be typeset does.
    function isError(node) {
        return node.classList.contains("preview-error") || node.classList.contains("preview-partial");
    }

    // The formula whose drawn box holds the point; a display formula's row
    // beside the formula itself counts as no formula.
    function formulaAt(x, y) {
        for (let element = document.elementFromPoint(x, y); element !== null; element = element.parentElement) {
            if (element.previewFormula === undefined)
                continue;
            const drawn = isError(element) ? element : element.querySelector(".katex") || element;
            const box = drawn.getBoundingClientRect();
            return x >= box.left && x <= box.right && y >= box.top && y <= box.bottom ? element : null;
        }
        return null;
    }

    // The text of a stretch of the preview as its source: formulas as their
    // TeX with delimiters, the plain text between them as it reads. Given a
    // range, only what it touches counts, a formula it touches in part whole.
    function sourceOf(nodes, range) {
        let text = "";
        for (const node of nodes) {
            if (range !== undefined && !range.intersectsNode(node))
                continue;
            const isDisplay = node.previewFormula !== undefined && node.previewFormula.display;
            // The line breaks around a display formula are not shown, but were there.
            if (isDisplay && text !== "" && !text.endsWith("\n"))
                text += "\n";
            if (node.previewFormula !== undefined)
                text += node.previewFormula.tex;
            else if (node.proseSource !== undefined)
                text += node.proseSource;
            else if (node.nodeType === Node.TEXT_NODE)
                text += range === undefined ? node.data : selectedPart(node, range);
            else
                text += sourceOf(node.childNodes, range);
            if (isDisplay)
                text += "\n";
        }
        return text;
    }

    function selectedPart(node, range) {
        const from = node === range.startContainer ? range.startOffset : 0;
        const to = node === range.endContainer ? range.endOffset : node.data.length;
        return node.data.slice(from, to);
    }

    // The source of what is selected in the preview; empty when nothing is.
    // A selection outside the typeset text (the notice) is taken as it reads.
    function selectionSource() {
        const selection = window.getSelection();
        if (selection.rangeCount === 0 || selection.isCollapsed)
            return "";
        const range = selection.getRangeAt(0);
        if (!range.intersectsNode(content))
            return selection.toString();
        return sourceOf(content.childNodes, range).replace(/\n$/, "");
    }

    function describe(x, y) {
        loadTypesetter();
        let node = formulaAt(x, y);
        const all = formulas();
        // A preview of one formula alone is that formula wherever the pointer is.
        if (node === null && all.length === 1 && content.textContent === all[0].textContent)
            node = all[0];
        if (node !== null) {
            current = { node: node };
            const error = isError(node);
            const size = sizeOf(node);
            return { isFormula: true, tex: node.previewFormula.tex, hasImage: !error, hasMathml: !error,
                selection: selectionSource(), width: size.width, height: size.height };
        }
        current = { node: null };
        const tex = sourceOf(content.childNodes).replace(/\n$/, "");
        const size = sizeOf(null);
        return { isFormula: false, tex: tex, hasImage: tex.trim() !== "", hasMathml: false, selection: selectionSource(),
            width: size.width, height: size.height };
    }

    // The definitions that hold before a formula, made again from what made
    // them, as the typesetting workers make them.
    function macrosBefore(chain) {
        const macros = {};
        for (const definer of chain)
            texDefinitions.apply(definer, macros);
        return macros;
    }

    // What XML can hold of a text: the serialiser writes a control character
    // (from a comment of the TeX, in the annotation) as it is, and no XML
    // reader takes that; such characters, and lone surrogates, are dropped.
    function xmlText(text) {
        return text.replace(/[^\t\n\r\u0020-\uD7FF\uE000-\uFFFD\u{10000}-\u{10FFFF}]/gu, "");
    }

    // The formula as MathML, serialised as XML, with its TeX source as the
    // annotation; made afresh with the definitions that held before it. Null
    // while the typesetter is still loading: the host asks again.
    function mathml() {
        if (current === null || current.node === null || isError(current.node) || typesetterState === "failed")
            return "";
        loadTypesetter();
        if (typesetterState !== "ready")
            return null;
        const formula = current.node.previewFormula;
        const scratch = document.createElement("span");
        katex.render(texCommands.prepare(formula.source), scratch,
            texDefinitions.options(formula.display, "mathml", macrosBefore(formula.chain)));
        const math = scratch.querySelector("math");
        return math === null ? "" : xmlText(new XMLSerializer().serializeToString(math));
    }

    // The size of a formula (or, for null, the whole preview) laid out
    // alone, in CSS pixels, with the export's padding: the whole preview as
    // wide as the page's text and as high as all of it.
    function sizeOf(node) {
        const padding = 16;
        if (node === null)
            return { width: content.clientWidth + padding, height: content.scrollHeight + padding };
        const box = (node.querySelector(".katex") || node).getBoundingClientRect();
        return { width: box.width + padding, height: box.height + padding };
    }

    // Lays a copy of the formula (or of the whole preview) out alone, where
    // only a print shows it, and answers its size in CSS pixels; nothing for
    // a whole preview larger than the area or the height given.
    function prepareImage(maxArea, maxHeight) {
        exportBox.replaceChildren();
        const isWhole = current === null || current.node === null;
        if (maxArea !== undefined) {
            const size = sizeOf(isWhole ? null : current.node);
            if (size.height > maxHeight || size.width * size.height > maxArea)
                return null;
        }
        exportBox.classList.toggle("export-whole", isWhole);
        exportBox.style.width = isWhole ? content.clientWidth + "px" : "";
        if (isWhole) {
            for (const node of content.childNodes)
                exportBox.append(node.cloneNode(true));
        } else {
            const drawn = current.node.querySelector(".katex");
            if (drawn === null)
                return null;
            exportBox.append(drawn.cloneNode(true));
        }
        const box = exportBox.getBoundingClientRect();
        return { width: Math.ceil(box.width), height: Math.ceil(box.height) };
    }

    function finishImage() {
        exportBox.replaceChildren();
    }

    // A press on a formula may begin dragging it out of the preview (the host
    // starts that drag), so it begins no text selection; a press on the text
    // around formulas selects as before.
    content.addEventListener("mousedown", (event) => {
        const node = event.button === 0 ? formulaAt(event.clientX, event.clientY) : null;
        if (node !== null && !isError(node))
            event.preventDefault();
    });

    Object.defineProperty(window, "previewExport", {
        value: Object.freeze({ describe: describe, selectionSource: selectionSource, mathml: mathml, prepareImage: prepareImage,
            finishImage: finishImage }),
        writable: false,
        configurable: false,
    });
})();
