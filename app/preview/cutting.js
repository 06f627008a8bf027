"use strict";

// The cutting of the preview's text into the pieces the page shows: plain
// runs and formulas. cutting.pieces(text, from) yields them in order.
(function () {
    // LaTeX's display environments, which stand as display formulas of their
    // own wherever they are in the text, their \begin and \end included.
    const DisplayEnvironments = new Set(["equation", "equation*", "align", "align*", "gather", "gather*",
        "alignat", "alignat*", "multline", "multline*", "CD"]);
    const EnvironmentOpening = /\\begin\{([A-Za-z]+\*?)\}/y;
    // A blank line ends a paragraph, and with it any inline $...$.
    const BlankLine = /\n[ \t\r]*\n/g;

    // Cuts text into plain runs and formulas between $...$, $$...$$, \(...\)
    // and \[...\] and display environments, a piece at a time, from the
    // start or from the end of a formula: each piece says where it ends, and
    // after a formula the cutting starts afresh, so cutting from there gives
    // the pieces that cutting the whole text would. Each piece also says how
    // far the cutting looked to make it (reach): a change at or past it
    // leaves the piece as it is. A text without any opening delimiter is one
    // display formula (nothing when blank). An escaped dollar (\$) stands
    // for a dollar sign; an opening delimiter without its closing one is
    // plain text.
    function* pieces(text, from) {
        let run = "";
        let runStart = from;
        let sawDelimiter = from > 0;
        let reach = from;
        let i = from;
        const n = text.length;
        while (i < n) {
            const c = text[i];
            if (c === "\\" && text[i + 1] === "$") {
                run += text.slice(runStart, i) + "$";
                i += 2;
                runStart = i;
                continue;
            }
            const delimiter = c === "\\" || c === "$" ? openingAt(text, i) : null;
            if (delimiter === null) {
                i += c === "\\" ? 2 : 1;
                continue;
            }
            sawDelimiter = true;
            const closing = closingOf(text, i + delimiter.open.length, delimiter.close);
            reach = Math.max(reach, closing.reach);
            if (closing.at < 0) {
                i += delimiter.open.length;
                continue;
            }
            run += text.slice(runStart, i);
            const formulaEnd = closing.at + delimiter.close.length;
            let next = formulaEnd;
            // A display formula is a block of its own; the line breaks around
            // it in the source would add blank lines.
            if (delimiter.display && run.endsWith("\n"))
                run = run.slice(0, -1);
            if (delimiter.display && text[next] === "\n")
                ++next;
            if (run !== "")
                yield { text: run, end: i, reach: reach };
            run = "";
            const source = delimiter.isEnvironment ? text.slice(i, formulaEnd)
                : text.slice(i + delimiter.open.length, closing.at);
            yield { source: source, display: delimiter.display, end: next, isDelimited: true, reach: reach,
                raw: text.slice(i, formulaEnd), sourceOffset: delimiter.isEnvironment ? 0 : delimiter.open.length };
            i = next;
            runStart = next;
        }
        if (!sawDelimiter) {
            if (text.trim() !== "")
                yield { source: text, display: true, end: n, reach: n, sourceOffset: 0 };
            return;
        }
        run += text.slice(runStart);
        if (run !== "")
            yield { text: run, end: n, reach: n };
    }

    // The formula an opening delimiter at i starts, or null: the opening
    // itself, its closing and whether the formula is a display one.
    function openingAt(text, i) {
        if (text[i] === "$")
            return text[i + 1] === "$" ? { open: "$$", close: "$$", display: true } : { open: "$", close: "$", display: false };
        const d = text[i + 1];
        if (d === "(")
            return { open: "\\(", close: "\\)", display: false };
        if (d === "[")
            return { open: "\\[", close: "\\]", display: true };
        EnvironmentOpening.lastIndex = i;
        const match = EnvironmentOpening.exec(text);
        if (match === null || !DisplayEnvironments.has(match[1]))
            return null;
        return { open: match[0], close: "\\end{" + match[1] + "}", display: true, isEnvironment: true };
    }

    // Where the closing delimiter is (at, or -1) and how far the search
    // looked (reach). The closing delimiter outside braces counts; when
    // there is none, a brace left open must not take the rest of the text
    // into the formula, so the first closing delimiter ends it, and the
    // formula shows its error in its place. An inline $...$ never runs past
    // a blank line.
    function closingOf(text, from, delimiter) {
        let limit = text.length;
        let reach = limit;
        if (delimiter === "$") {
            BlankLine.lastIndex = from;
            const blank = BlankLine.exec(text);
            if (blank !== null) {
                limit = blank.index;
                reach = blank.index + blank[0].length;
            }
        }
        const at = findEnd(text, from, limit, delimiter, true);
        if (at >= 0)
            return { at: at, reach: at + delimiter.length };
        return { at: findEnd(text, from, limit, delimiter, false), reach: reach };
    }

    // The index of the closing delimiter before limit, outside braces when
    // they count, or -1. Escaped characters (\{, \$, \\) never count.
    function findEnd(text, from, limit, delimiter, areBracesCounted) {
        let depth = 0;
        for (let j = from; j < limit; ++j) {
            const c = text[j];
            if (c === "\\") {
                if (depth <= 0 && delimiter[0] === "\\" && text.startsWith(delimiter, j))
                    return j;
                ++j;
            } else if (c === "{" && areBracesCounted) {
                ++depth;
            } else if (c === "}" && areBracesCounted) {
                --depth;
            } else if (depth <= 0 && text.startsWith(delimiter, j)) {
                return j;
            }
        }
        return -1;
    }

    Object.defineProperty(window, "cutting", {
        value: Object.freeze({ pieces: pieces }),
        writable: false,
        configurable: false,
    });
})();
