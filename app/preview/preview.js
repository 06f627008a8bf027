"use strict";

// The preview page. On every refresh the host calls preview.show(text, notice),
// or preview.change(...) with only what changed since the text it showed; it
// calls preview.setPalette(...) when the desktop colours change. The text is the
// user's and is only ever inserted as text nodes or handed to the typesetter;
// it never becomes markup or code.
(function () {
    const content = document.getElementById("content");
    const notice = document.getElementById("notice");

    // Cuts text into plain runs and formulas between $...$, $$...$$, \(...\)
    // and \[...\], a piece at a time, from the start or from the end of a
    // formula: each piece says where it ends, and after a formula the cutting
    // starts afresh, so cutting from there gives the pieces that cutting the
    // whole text would. A text without any opening delimiter is one display
    // formula (nothing when blank). An escaped dollar (\$) stands for a
    // dollar sign; an opening delimiter without its closing one leaves the
    // rest as plain text.
    function* pieces(text, from) {
        let run = "";
        let runStart = from;
        let sawDelimiter = from > 0;
        let i = from;
        const n = text.length;
        while (i < n) {
            const c = text[i];
            let close = "";
            if (c === "\\") {
                const d = text[i + 1];
                if (d === "$") {
                    run += text.slice(runStart, i) + "$";
                    i += 2;
                    runStart = i;
                    continue;
                }
                if (d !== "(" && d !== "[") {
                    i += 2;
                    continue;
                }
                close = d === "(" ? "\\)" : "\\]";
            } else if (c === "$") {
                close = text[i + 1] === "$" ? "$$" : "$";
            } else {
                ++i;
                continue;
            }
            sawDelimiter = true;
            const display = close === "$$" || close === "\\]";
            const end = findEnd(text, i + close.length, close);
            if (end < 0)
                break;
            run += text.slice(runStart, i);
            let next = end + close.length;
            // A display formula is a block of its own; the line breaks around
            // it in the source would add blank lines.
            if (display && run.endsWith("\n"))
                run = run.slice(0, -1);
            if (display && text[next] === "\n")
                ++next;
            if (run !== "")
                yield { text: run, end: i };
            run = "";
            yield { source: text.slice(i + close.length, end), display: display, end: next, isDelimited: true,
                raw: text.slice(i, end + close.length) };
            i = next;
            runStart = next;
        }
        if (!sawDelimiter) {
            if (text.trim() !== "")
                yield { source: text, display: true, end: n };
            return;
        }
        run += text.slice(runStart);
        if (run !== "")
            yield { text: run, end: n };
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
    // Which start of the copies is current: a refresh starts them anew.
    let copyRun = 0;
    const CopySliceMs = 4;
    // A page out of sight draws no frames; its copies come after this.
    const HiddenPageWaitMs = 100;

    function addCopyLater(holder, source, display, macros) {
        pendingCopies.push({ holder: holder, source: source, display: display, macros: macros });
        if (isCopying)
            return;
        isCopying = true;
        startCopies();
    }

    // The copies still to be made wait until the next frame has been drawn;
    // a refresh that comes while they are being made goes first, so its
    // frame never waits for a slice of them.
    function startCopies() {
        const run = ++copyRun;
        afterPaint(() => addPendingCopies(run));
    }

    // Runs the callback a frame's time after the page's next frame began,
    // when that frame has been drawn, or after a short wait on a page out of
    // sight, which draws none. Work started as the next frame begins would
    // compete with its drawing for the processor.
    const FrameMs = 16;
    function afterPaint(callback) {
        let isDone = false;
        const run = () => {
            if (!isDone) {
                isDone = true;
                callback();
            }
        };
        requestAnimationFrame(() => setTimeout(run, FrameMs));
        setTimeout(run, HiddenPageWaitMs);
    }

    function addPendingCopies(run) {
        if (run !== copyRun)
            return;
        const deadline = performance.now() + CopySliceMs;
        while (nextCopy < pendingCopies.length && performance.now() < deadline)
            addCopy(pendingCopies[nextCopy++]);
        // The slice lays out what it added, so a refresh that comes next
        // does not pay for it.
        void document.body.offsetHeight;
        if (nextCopy < pendingCopies.length) {
            setTimeout(() => addPendingCopies(run), 0);
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

    // The elements this refresh made, while it goes on.
    let made = [];

    function build(part, key, macros, definitions) {
        if (part.text !== undefined)
            return { key: key, node: document.createTextNode(part.text) };
        // KaTeX adds global definitions to the object it is given; a copy of
        // its own keeps those of the earlier pieces as they were.
        const after = Object.assign({}, macros);
        const node = typeset(part.source, part.display, after);
        made.push(node);
        const afterDefinitions = describeMacros(after);
        const entry = { key: key, node: node, macros: macros, definitions: definitions,
            isDisplay: part.display, isCut: part.display && endsBlock(key) };
        if (afterDefinitions !== definitions) {
            entry.macros = after;
            entry.definitions = afterDefinitions;
        }
        return entry;
    }

    // The index of the first shown entry that ends after the position (the
    // entries end in increasing order).
    function firstEndingAfter(position) {
        let low = 0;
        let high = shown.length;
        while (low < high) {
            const middle = (low + high) >> 1;
            if (shown[middle].end <= position)
                low = middle + 1;
            else
                high = middle;
        }
        return low;
    }

    // The shown entries a changed part of the text may take again, by key;
    // each list holds indexes in page order, so a piece that occurs several
    // times keeps its nodes in the same order. It covers the entries from
    // the first one cut again and grows as the cutting goes on.
    class Candidates {
        constructor(first) {
            this.lists = new Map();
            this.covered = first;
            this.taken = [];
        }

        // Takes in the shown entries up to the given index and those that end
        // before the given place of the shown text.
        cover(index, place) {
            while (this.covered < shown.length && (this.covered <= index || shown[this.covered].end <= place)) {
                const key = shown[this.covered].key;
                const list = this.lists.get(key);
                if (list === undefined)
                    this.lists.set(key, [this.covered]);
                else
                    list.push(this.covered);
                ++this.covered;
            }
        }

        take(key) {
            const list = this.lists.get(key);
            if (list === undefined || list.length === 0)
                return undefined;
            const index = list.shift();
            this.taken.push(index);
            return shown[index];
        }

        // Whether every entry taken lies before the index.
        allTakenBefore(index) {
            return this.taken.every((taken) => taken < index);
        }
    }

    // Only what changed is cut and compared again. The text agrees with the
    // shown one in its first head and last tail characters (the host knows
    // how far; a whole text counts as changed throughout). The pieces before
    // the first difference stay as they are, the cutting starts afresh after
    // the last formula before it, and it stops at the first formula past the
    // last difference that ends where a shown formula ended, with the same
    // definitions after it: from there on the text cuts as before. New or
    // changed pieces are typeset; every other piece keeps its node, and with
    // it its layout.
    function update(text, head, tail) {
        const before = shownText === null ? "" : shownText;
        const shift = text.length - before.length;
        let first = firstEndingAfter(head - 1);
        while (first > 0 && !shown[first - 1].isDelimited)
            --first;
        const last = shown[first - 1];
        let macros = last !== undefined ? last.macros : {};
        let definitions = last !== undefined ? last.definitions : "";
        const candidates = new Candidates(first);
        const lastChanged = firstEndingAfter(before.length - tail - 1);
        const next = shown.slice(0, first);
        // Where the pieces cut again end; the shown entries keep their places
        // until the cutting is done.
        const places = [];
        let resumeAt = shown.length;
        for (const part of pieces(text, last !== undefined ? last.end : 0)) {
            const key = keyOf(part, definitions);
            candidates.cover(lastChanged, part.end - shift);
            let entry = candidates.take(key);
            if (entry === undefined)
                entry = build(part, key, macros, definitions);
            next.push(entry);
            places.push(part);
            // What the export of a formula needs: its source, with and without delimiters, and the definitions before it.
            if (part.source !== undefined)
                entry.node.previewFormula = { tex: part.raw || part.source, source: part.source, display: part.display, macros: macros };
            // Plain text leaves the definitions as they are.
            if (part.text !== undefined)
                continue;
            macros = entry.macros;
            definitions = entry.definitions;
            const resume = resumption(part, first, shift, tail, text.length, definitions);
            if (resume >= 0 && candidates.allTakenBefore(resume)) {
                resumeAt = resume;
                break;
            }
        }
        // What no piece took any more has left the text.
        const taken = new Set(candidates.taken);
        for (let index = first; index < resumeAt; ++index) {
            if (!taken.has(index))
                shown[index].node.remove();
        }
        places.forEach((part, index) => {
            next[first + index].end = part.end;
            next[first + index].isDelimited = part.isDelimited === true;
        });
        for (let index = resumeAt; index < shown.length; ++index) {
            shown[index].end += shift;
            next.push(shown[index]);
        }
        arrange(blocks(next), first, first + places.length);
        // A text of a few pieces is shown whole: keeping what is out of view
        // from being laid out would only cost the engine a second pass to
        // find that all of it is in view.
        const isInBlocks = next.length > FewPieces;
        content.classList.toggle("preview-blocks", isInBlocks);
        if (isInBlocks)
            showWholeOnce(made);
        made = [];
        shown = next;
        shownText = text;
    }

    // Where the shown entries take over after a formula just cut: the index
    // of the shown entry after a shown formula that ended at the same place
    // of the unchanged end of the text, with the same definitions after it;
    // or -1.
    function resumption(part, first, shift, tail, length, definitions) {
        if (!part.isDelimited || part.end < length - tail)
            return -1;
        const index = firstEndingAfter(part.end - shift - 1);
        const entry = shown[index];
        if (index < first || entry === undefined || entry.end !== part.end - shift || !entry.isDelimited
            || entry.definitions !== definitions)
            return -1;
        return index + 1;
    }

    // What a refresh adds to a long text is laid out whole the first time:
    // kept from layout until the engine has seen it in view, it would be
    // laid out a second time in the next frame. A refresh that adds much
    // (the first show of a long text) keeps what is out of view from layout
    // at once.
    function showWholeOnce(elements) {
        if (elements.length === 0 || elements.length > FewPieces)
            return;
        for (const element of elements)
            element.classList.add("preview-new");
        afterPaint(() => {
            for (const element of elements)
                element.classList.remove("preview-new");
        });
    }

    // The nodes of the pieces, cut into the blocks of the page, each with
    // the index of its first piece.
    function blocks(entries) {
        const result = [];
        let start = 0;
        for (let index = 0; index < entries.length; ++index) {
            const entry = entries[index];
            const size = index + 1 - start;
            if (entry.isCut || (entry.isDisplay && size >= MaxBlockPieces) || index + 1 === entries.length) {
                result.push({ start: start, nodes: entries.slice(start, index + 1).map((e) => e.node) });
                start = index + 1;
            }
        }
        return result;
    }

    // Whether a block's nodes are all there is of one block of the page, in
    // this order, judged by the ends and the count: it holds for a block
    // none of whose pieces changed.
    function isInPlace(nodes) {
        const parent = nodes[0].parentNode;
        return parent !== null && parent.parentNode === content && parent.firstChild === nodes[0]
            && parent.lastChild === nodes[nodes.length - 1] && parent.childNodes.length === nodes.length;
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
    function arrange(pageBlocks, changedFrom, changedTo) {
        const oldBlocks = Array.from(content.children);
        const claimed = new Set();
        const elements = pageBlocks.map((block) => {
            const nodes = block.nodes;
            const isUnchanged = block.start + nodes.length <= changedFrom || block.start >= changedTo;
            let element = null;
            if (isUnchanged && isInPlace(nodes)) {
                element = nodes[0].parentNode;
            } else {
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
                    made.push(element);
                }
                order(element, nodes);
            }
            claimed.add(element);
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
        return present(text, 0, 0, noticeText);
    }

    function present(text, head, tail, noticeText) {
        const started = performance.now();
        if (isCopying)
            startCopies();
        if (text !== shownText)
            update(text, head, tail);
        if (notice.textContent !== noticeText) {
            notice.textContent = noticeText;
            notice.hidden = noticeText === "";
        }
        void document.body.offsetHeight;
        return performance.now() - started;
    }

    // The text differs from the one shown only between its first head and
    // its last tail characters; the host sends only what lies between.
    // Answers -1, showing nothing, when the page shows another text than
    // the host thought.
    function change(shownLength, head, tail, middle, noticeText) {
        if (shownText === null || shownText.length !== shownLength || head + tail > shownLength)
            return -1;
        const text = head + tail === shownLength && middle === ""
            ? shownText : shownText.slice(0, head) + middle + shownText.slice(shownLength - tail);
        return present(text, head, tail, noticeText);
    }

    function setPalette(background, text, error) {
        const style = document.documentElement.style;
        style.setProperty("--preview-bg", background);
        style.setProperty("--preview-fg", text);
        style.setProperty("--preview-error", error);
    }

    Object.defineProperty(window, "preview", {
        value: Object.freeze({ show: show, change: change, setPalette: setPalette }),
        writable: false,
        configurable: false,
    });
})();
