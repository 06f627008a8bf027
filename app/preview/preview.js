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

    // KaTeX writes a few styles as style attributes (on the SVG parts of
    // stretched delimiters and accents, and in the MathML copy of \pmb or
    // \fcolorbox), which the page's policy refuses. On this page such an
    // attribute goes through the element's style object instead: the policy
    // allows that, and it draws the same. An element without a style object
    // (MathML where the engine does not style it) only loses a style it would
    // not draw. The replacement stays for good: swapping it around each
    // formula would make the engine throw away what it learnt about KaTeX's
    // calls every time.
    const setAttribute = Element.prototype.setAttribute;

    Element.prototype.setAttribute = function (name, value) {
        if (String(name).toLowerCase() !== "style")
            return setAttribute.call(this, name, value);
        if (this.style instanceof CSSStyleDeclaration)
            this.style.cssText = String(value);
    };

    function render(source, holder, display, output, macros) {
        katex.render(source, holder, {
            displayMode: display,
            output: output,
            throwOnError: true,
            trust: false,
            strict: "ignore",
            maxExpand: 1000,
            maxSize: 50,
            macros: macros,
        });
    }

    // A formula is drawn first; its copy for screen readers (MathML) follows
    // once the refresh has been painted, a slice of formulas at a time, so a
    // refresh never waits for a copy nobody sees (about a third of the
    // typesetting). The copy is made from the same source and definitions;
    // a formula that left the page meanwhile gets none.
    const pendingCopies = [];
    let nextCopy = 0;
    let isCopying = false;
    const CopySliceMs = 8;
    // A page out of sight draws no frames; its copies come after this.
    const HiddenPageWaitMs = 100;

    function addCopyLater(holder, source, display, macros) {
        pendingCopies.push({ holder: holder, source: source, display: display, macros: macros });
        if (isCopying)
            return;
        isCopying = true;
        let isStarted = false;
        const start = () => {
            if (!isStarted) {
                isStarted = true;
                addPendingCopies();
            }
        };
        requestAnimationFrame(() => setTimeout(start, 0));
        setTimeout(start, HiddenPageWaitMs);
    }

    function addPendingCopies() {
        const deadline = performance.now() + CopySliceMs;
        while (nextCopy < pendingCopies.length && performance.now() < deadline)
            addCopy(pendingCopies[nextCopy++]);
        if (nextCopy < pendingCopies.length) {
            setTimeout(addPendingCopies, 0);
        } else {
            pendingCopies.length = 0;
            nextCopy = 0;
            isCopying = false;
        }
    }

    function addCopy(pending) {
        const html = pending.holder.querySelector(".katex-html");
        if (!pending.holder.isConnected || html === null)
            return;
        const scratch = document.createElement("span");
        try {
            render(pending.source, scratch, pending.display, "mathml", pending.macros);
        } catch (error) {
            return;
        }
        const math = scratch.querySelector("math");
        if (math === null)
            return;
        const copy = document.createElement("span");
        copy.className = "katex-mathml";
        copy.append(math);
        html.before(copy);
        html.setAttribute("aria-hidden", "true");
    }

    function typeset(source, display, macros) {
        const holder = document.createElement(display ? "div" : "span");
        holder.className = display ? "preview-display" : "preview-inline";
        const before = Object.assign({}, macros);
        try {
            render(source, holder, display, "html", macros);
        } catch (error) {
            return errorNode(source, display, error);
        }
        addCopyLater(holder, source, display, before);
        return holder;
    }

    // Definitions made with \gdef in one formula hold for the later ones of
    // the same text, as in a document. A formula is typeset the same only
    // when the definitions before it are the same, so they are part of what
    // identifies a formula; a compact description of them serves.
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

    // What the page shows, one entry per piece in order: the piece's key (its
    // kind, for a formula the definitions before it, and its source), its
    // node, and for a formula the definitions after it.
    let shownText = null;
    let shown = [];

    function pieces(text) {
        const parts = split(text);
        if (parts !== null)
            return parts;
        return text.trim() === "" ? [] : [{ source: text, display: true }];
    }

    function keyOf(part, definitions) {
        if (part.text !== undefined)
            return "t" + part.text;
        return (part.display ? "d" : "i") + definitions.length + ":" + definitions + part.source;
    }

    // A display formula ends a block of the page when its key says so, so
    // the blocks depend on the pieces themselves and an insertion or a
    // deletion changes only the block it falls in; a block ends at the first
    // display formula after MaxBlockPieces pieces at the latest.
    const MaxBlockPieces = 64;
    const FewPieces = 8;

    function endsBlock(key) {
        let hash = 0;
        for (let j = 0; j < key.length; ++j)
            hash = (hash * 31 + key.charCodeAt(j)) | 0;
        return (hash & 15) === 0;
    }

    function build(part, key, macros, definitions) {
        if (part.text !== undefined)
            return { key: key, node: document.createTextNode(part.text) };
        // KaTeX adds global definitions to the object it is given; a copy of
        // its own keeps those of the earlier pieces as they were.
        const after = Object.assign({}, macros);
        const node = typeset(part.source, part.display, after);
        const afterDefinitions = describeMacros(after);
        const entry = { key: key, node: node, macros: macros, definitions: definitions,
            isDisplay: part.display, isCut: part.display && endsBlock(key) };
        if (afterDefinitions !== definitions) {
            entry.macros = after;
            entry.definitions = afterDefinitions;
        }
        return entry;
    }

    // The entries of the shown pieces by key, each list in page order, so a
    // piece that occurs several times keeps its nodes in the same order.
    function reusableEntries() {
        const byKey = new Map();
        for (const entry of shown) {
            const list = byKey.get(entry.key);
            if (list === undefined)
                byKey.set(entry.key, [entry]);
            else
                list.push(entry);
        }
        return byKey;
    }

    // Only new or changed pieces are typeset; every other piece keeps its
    // node, and with it its layout.
    function update(text) {
        const reusable = reusableEntries();
        const next = [];
        let macros = {};
        let definitions = "";
        for (const part of pieces(text)) {
            const key = keyOf(part, definitions);
            const list = reusable.get(key);
            const entry = list !== undefined && list.length > 0 ? list.shift() : build(part, key, macros, definitions);
            next.push(entry);
            // Plain text leaves the definitions as they are.
            if (part.text === undefined) {
                macros = entry.macros;
                definitions = entry.definitions;
            }
        }
        // What no piece took any more has left the text.
        for (const list of reusable.values()) {
            for (const entry of list)
                entry.node.remove();
        }
        arrange(blocks(next));
        // A text of a few pieces is shown whole: keeping what is out of view
        // from being laid out would only cost the engine a second pass to
        // find that all of it is in view.
        content.classList.toggle("preview-blocks", next.length > FewPieces);
        shown = next;
        shownText = text;
    }

    // The nodes of the pieces, cut into the blocks of the page.
    function blocks(entries) {
        const result = [];
        let block = [];
        for (const entry of entries) {
            block.push(entry.node);
            if (entry.isCut || (entry.isDisplay && block.length >= MaxBlockPieces)) {
                result.push(block);
                block = [];
            }
        }
        if (block.length > 0)
            result.push(block);
        return result;
    }

    // Puts the nodes into parent in this order with as few moves as it can.
    function order(parent, nodes) {
        let cursor = parent.firstChild;
        for (const node of nodes) {
            if (node === cursor)
                cursor = cursor.nextSibling;
            else
                parent.insertBefore(node, cursor);
        }
    }

    // The page is a list of blocks of pieces. A block out of view is neither
    // laid out nor drawn, so a change lays out only the blocks in view and
    // the engine keeps track of a few dozen blocks rather than of every
    // formula. A block keeps the element of the first of its pieces already
    // shown, so a deletion or an insertion moves nothing else.
    function arrange(nodeBlocks) {
        const oldBlocks = Array.from(content.children);
        const claimed = new Set();
        const elements = nodeBlocks.map((nodes) => {
            let element = null;
            for (const node of nodes) {
                const parent = node.parentNode;
                if (parent !== null && parent.parentNode === content && !claimed.has(parent)) {
                    element = parent;
                    break;
                }
            }
            if (element === null) {
                element = document.createElement("div");
                element.className = "preview-block";
            }
            claimed.add(element);
            order(element, nodes);
            // Until it is first laid out, a block counts as tall as its
            // formulas would be, so the scroll bar comes out about right.
            if (element.pieceCount !== nodes.length) {
                element.pieceCount = nodes.length;
                element.style.containIntrinsicSize = "auto " + (3 * nodes.length) + "em";
            }
            return element;
        });
        for (const element of oldBlocks) {
            if (!claimed.has(element))
                element.remove();
        }
        order(content, elements);
    }

    // Updates the shown text in place, so the scroll position stays where
    // the user left it. The same text again typesets nothing. Returns the
    // milliseconds taken, layout included.
    function show(text, noticeText) {
        const started = performance.now();
        if (text !== shownText)
            update(text);
        if (notice.textContent !== noticeText) {
            notice.textContent = noticeText;
            notice.hidden = noticeText === "";
        }
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
