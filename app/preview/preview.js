"use strict";

// The preview page. The host calls preview.show(text, notice) on every refresh
// and preview.setPalette(...) when the desktop colours change. The text is the
// user's and is only ever inserted as text nodes or handed to the typesetter;
// it never becomes markup or code.
(function () {
    const content = document.getElementById("content");
    const notice = document.getElementById("notice");

    // Splits text into plain runs and formulas between $...$, $$...$$,
    // \(...\) and \[...\]. Returns null when the text holds no opening
    // delimiter at all, so the caller typesets it as one display formula.
    // An escaped dollar (\$) in the text stands for a dollar sign; an opening
    // delimiter without its closing one leaves the rest as plain text.
    function split(text) {
        const parts = [];
        let run = "";
        let runStart = 0;
        let sawDelimiter = false;
        let i = 0;
        const n = text.length;

        function pushMath(source, display, next) {
            run += text.slice(runStart, i);
            // A display formula is a block of its own; the line breaks around
            // it in the source would add blank lines.
            if (display && run.endsWith("\n"))
                run = run.slice(0, -1);
            if (display && text[next] === "\n")
                ++next;
            if (run !== "")
                parts.push({ text: run });
            run = "";
            parts.push({ source: source, display: display });
            i = next;
            runStart = next;
        }

        while (i < n) {
            const c = text[i];
            if (c === "\\") {
                const d = text[i + 1];
                if (d === "$") {
                    run += text.slice(runStart, i) + "$";
                    i += 2;
                    runStart = i;
                    continue;
                }
                if (d === "(" || d === "[") {
                    sawDelimiter = true;
                    const close = d === "(" ? "\\)" : "\\]";
                    const end = findEnd(text, i + 2, close);
                    if (end < 0)
                        break;
                    pushMath(text.slice(i + 2, end), d === "[", end + 2);
                    continue;
                }
                i += 2;
                continue;
            }
            if (c === "$") {
                sawDelimiter = true;
                const display = text[i + 1] === "$";
                const open = display ? 2 : 1;
                const end = findEnd(text, i + open, display ? "$$" : "$");
                if (end < 0)
                    break;
                pushMath(text.slice(i + open, end), display, end + open);
                continue;
            }
            ++i;
        }
        if (!sawDelimiter)
            return null;
        run += text.slice(runStart);
        if (run !== "")
            parts.push({ text: run });
        return parts;
    }

    // The index of the closing delimiter outside braces, or -1. Escaped
    // characters (\{, \$, \\) never count.
    function findEnd(text, from, delimiter) {
        let depth = 0;
        const n = text.length;
        for (let j = from; j < n; ++j) {
            const c = text[j];
            if (c === "\\") {
                if (depth <= 0 && delimiter[0] === "\\" && text.startsWith(delimiter, j))
                    return j;
                ++j;
            } else if (c === "{") {
                ++depth;
            } else if (c === "}") {
                --depth;
            } else if (depth <= 0 && text.startsWith(delimiter, j)) {
                return j;
            }
        }
        return -1;
    }

    function describe(error) {
        if (typeof katex === "undefined")
            return "The typesetter could not be loaded.";
        if (error instanceof katex.ParseError)
            return String(error.message).replace(/^KaTeX parse error: /, "");
        return "The formula cannot be typeset: " + String(error && error.message || error);
    }

    function errorNode(source, display, error) {
        const node = document.createElement(display ? "div" : "span");
        node.className = "preview-error";
        const code = document.createElement("span");
        code.className = "preview-source";
        code.textContent = source;
        const message = document.createElement("span");
        message.className = "preview-message";
        message.textContent = describe(error);
        node.append(code, message);
        return node;
    }

    function typeset(source, display, macros) {
        const holder = document.createElement("span");
        try {
            katex.render(source, holder, {
                displayMode: display,
                throwOnError: true,
                trust: false,
                strict: "ignore",
                maxExpand: 1000,
                maxSize: 50,
                macros: macros,
            });
        } catch (error) {
            return errorNode(source, display, error);
        }
        return holder;
    }

    // Replaces the shown text in place, so the scroll position stays where
    // the user left it. Returns the milliseconds taken, layout included.
    function show(text, noticeText) {
        const started = performance.now();
        const fragment = document.createDocumentFragment();
        // Definitions made with \gdef in one formula hold for the later ones
        // of the same text, as in a document.
        const macros = {};
        const parts = split(text);
        if (parts === null) {
            if (text.trim() !== "")
                fragment.append(typeset(text, true, macros));
        } else {
            for (const part of parts) {
                if (part.text !== undefined)
                    fragment.append(document.createTextNode(part.text));
                else
                    fragment.append(typeset(part.source, part.display, macros));
            }
        }
        content.replaceChildren(fragment);
        notice.textContent = noticeText;
        notice.hidden = noticeText === "";
        void document.body.offsetHeight;
        return performance.now() - started;
    }

    function setPalette(background, text, error) {
        const style = document.documentElement.style;
        style.setProperty("--preview-bg", background);
        style.setProperty("--preview-fg", text);
        style.setProperty("--preview-error", error);
    }

    Object.defineProperty(window, "preview", {
        value: Object.freeze({ show: show, setPalette: setPalette }),
        writable: false,
        configurable: false,
    });
})();
