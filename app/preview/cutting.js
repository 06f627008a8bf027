"use strict";

// The cutting of the preview's text into the pieces the page shows: plain
// runs and formulas. cutting.pieces(text, from) yields them in order.
(function () {
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
            yield { source: text.slice(i + close.length, end), display: display, end: next, isDelimited: true };
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

    Object.defineProperty(window, "cutting", {
        value: Object.freeze({ pieces: pieces }),
        writable: false,
        configurable: false,
    });
})();
