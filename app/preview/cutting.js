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
    // Definitions that stand in the text, as in a paper's preamble: what
    // comes before the definition itself, by the kind of command.
    const DefinitionCommand
        = /\\(newcommand|renewcommand|providecommand|DeclareMathOperator|def|gdef|edef|xdef|let)(?![A-Za-z@])\*?/y;
    const Introductions = { newcommand: "options", renewcommand: "options", providecommand: "options",
        DeclareMathOperator: "name", def: "parameters", gdef: "parameters", edef: "parameters", xdef: "parameters",
        let: "let" };

    // Cuts text into plain runs and formulas between $...$, $$...$$, \(...\)
    // and \[...\] and display environments, a piece at a time, from the
    // start or from the end of a formula: each piece says where it ends, and
    // after a formula the cutting starts afresh, so cutting from there gives
    // the pieces that cutting the whole text would. Each piece also says how
    // far the cutting looked to make it (reach): a change at or past it
    // leaves the piece as it is. A text without any opening delimiter is one
    // display formula (nothing when blank), definitions included. An escaped
    // dollar (\$) stands for a dollar sign; an opening delimiter without its
    // closing one is plain text. A definition in the text is a piece of its
    // own (isDefinition), with the line break after it.
    function* pieces(text, from) {
        let run = "";
        let runStart = from;
        let sawDelimiter = from > 0;
        let reach = from;
        let i = from;
        const n = text.length;
        // Where the first opening delimiter after a definition ends, for a
        // text that had none before it (-1: there is none).
        let nextOpening = null;
        while (i < n) {
            const c = text[i];
            if (c === "\\" && text[i + 1] === "$") {
                run += text.slice(runStart, i) + "$";
                i += 2;
                runStart = i;
                continue;
            }
            const delimiter = c === "\\" || c === "$" ? openingAt(text, i) : null;
            const definition = delimiter === null && c === "\\" && isDefinitionCommand(text, i)
                && (isLineStart(text, i) || (run.trim() === "" && isBlankBetween(text, runStart, i)))
                ? definitionAt(text, i) : null;
            if (definition !== null) {
                if (!sawDelimiter && nextOpening === null)
                    nextOpening = firstOpeningEnd(text, definition.end);
                if (sawDelimiter || nextOpening >= 0) {
                    reach = Math.max(reach, definition.reach, sawDelimiter ? 0 : nextOpening);
                    sawDelimiter = true;
                    run += text.slice(runStart, i);
                    if (run !== "")
                        yield { text: run, end: i, reach: reach };
                    run = "";
                    const next = lineEndAfter(text, definition.end);
                    const source = text.slice(i, definition.end);
                    yield { source: source, display: false, isDefinition: true, end: next, isDelimited: true,
                        reach: reach, raw: source, sourceOffset: 0 };
                    i = next;
                    runStart = next;
                    continue;
                }
            }
            if (delimiter === null) {
                i += c === "\\" ? 2 : 1;
                continue;
            }
            sawDelimiter = true;
            const closing = delimiter.isGroup ? groupClosing(text, i + delimiter.open.length)
                : closingOf(text, i + delimiter.open.length, delimiter.close);
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

    function isDefinitionCommand(text, i) {
        DefinitionCommand.lastIndex = i;
        return DefinitionCommand.test(text);
    }

    function isBlankBetween(text, from, to) {
        let j = to - 1;
        while (j >= from && /\s/.test(text[j]))
            --j;
        return j < from;
    }

    // Whether only spaces stand before i on its line.
    function isLineStart(text, i) {
        let j = i - 1;
        while (j >= 0 && (text[j] === " " || text[j] === "\t"))
            --j;
        return j < 0 || text[j] === "\n";
    }

    // Whether a definition ending at end stands alone: the rest of its line
    // is blank, a formula or another definition.
    function isAloneAfter(text, end) {
        let j = end;
        while (text[j] === " " || text[j] === "\t")
            ++j;
        if (j >= text.length || text[j] === "\n" || text[j] === "\r")
            return true;
        if (text[j] === "$" || (text[j] === "\\" && openingAt(text, j) !== null))
            return true;
        return isDefinitionCommand(text, j);
    }

    // Where the first opening delimiter at or after from ends, or -1.
    function firstOpeningEnd(text, from) {
        for (let i = from; i < text.length; ++i) {
            const c = text[i];
            const delimiter = (c === "\\" && text[i + 1] !== "$") || c === "$" ? openingAt(text, i) : null;
            if (delimiter !== null)
                return i + delimiter.open.length;
            if (c === "\\")
                ++i;
        }
        return -1;
    }

    // Past the spaces and the line break that end a definition's line,
    // which are not shown with it.
    function lineEndAfter(text, end) {
        let i = end;
        while (text[i] === " " || text[i] === "\t")
            ++i;
        return text[i] === "\n" ? i + 1 : i === text.length ? i : end;
    }

    // The definition a command at i starts, or null: where it ends and how
    // far the cutting looked. It takes the name, what the command has
    // before the body (options in brackets, a parameter text, or nothing
    // more) and the body in braces. One whose shape is broken runs to the end
    // of its line, where the typesetter finds its fault; none runs past a
    // blank line.
    function definitionAt(text, i) {
        DefinitionCommand.lastIndex = i;
        const match = DefinitionCommand.exec(text);
        if (match === null)
            return null;
        BlankLine.lastIndex = i;
        const blank = BlankLine.exec(text);
        const limit = blank !== null ? blank.index : text.length;
        const introduction = Introductions[match[1]];
        let j = skipSpaces(text, i + match[0].length);
        j = text[j] === "{" && introduction !== "parameters" ? groupEnd(text, j, limit) : nameEnd(text, j);
        if (introduction === "options") {
            for (j = skipSpaces(text, j); j >= 0 && text[j] === "["; j = skipSpaces(text, j))
                j = optionEnd(text, j, limit);
        } else if (introduction === "parameters" && j >= 0) {
            while (j < limit && text[j] !== "{" && text[j] !== "}")
                j += text[j] === "\\" ? 2 : 1;
        }
        j = j >= 0 ? skipSpaces(text, j) : -1;
        let end = -1;
        if (introduction === "let")
            end = j >= 0 ? nameEnd(text, skipSpaces(text, text[j] === "=" ? j + 1 : j)) : -1;
        else
            end = j >= 0 && j < limit && text[j] === "{" ? groupEnd(text, j, limit) : -1;
        // Only a whole definition standing alone is one: prose that names
        // the command (in quotes or between backticks) stays prose.
        if (end < 0 || !isAloneAfter(text, end))
            return null;
        const lineEnd = text.indexOf("\n", end);
        return { end: end, reach: lineEnd >= 0 ? lineEnd + 1 : text.length };
    }

    function skipSpaces(text, j) {
        while (j >= 0 && (text[j] === " " || text[j] === "\t" || text[j] === "\n"))
            ++j;
        return j;
    }

    // The end of a control sequence at j, or -1.
    function nameEnd(text, j) {
        if (text[j] !== "\\" || j + 1 >= text.length)
            return -1;
        let end = j + 2;
        if (/[A-Za-z@]/.test(text[j + 1])) {
            while (end < text.length && /[A-Za-z@]/.test(text[end]))
                ++end;
        }
        return end;
    }

    // The end of the group in braces opening at j, before limit, or -1.
    function groupEnd(text, j, limit) {
        let depth = 0;
        for (let k = j; k < limit; ++k) {
            const c = text[k];
            if (c === "\\")
                ++k;
            else if (c === "{")
                ++depth;
            else if (c === "}" && --depth === 0)
                return k + 1;
        }
        return -1;
    }

    // The end of an option in brackets opening at j, before limit, or -1.
    function optionEnd(text, j, limit) {
        const close = text.indexOf("]", j);
        return close >= 0 && close < limit ? close + 1 : -1;
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
        // \ensuremath{...} in the prose is its content as a formula.
        if (d === "e" && text.startsWith("\\ensuremath{", i))
            return { open: "\\ensuremath", close: "", display: false, isEnvironment: true, isGroup: true };
        EnvironmentOpening.lastIndex = i;
        const match = EnvironmentOpening.exec(text);
        if (match === null || !DisplayEnvironments.has(match[1]))
            return null;
        return { open: match[0], close: "\\end{" + match[1] + "}", display: true, isEnvironment: true };
    }

    // The end of the group opening at from, as a closing (the group ends its
    // formula); one left open is no formula, and its search ends at the
    // paragraph.
    function groupClosing(text, from) {
        BlankLine.lastIndex = from;
        const blank = BlankLine.exec(text);
        const limit = blank !== null ? blank.index : text.length;
        const end = groupEnd(text, from, limit);
        return end >= 0 ? { at: end, reach: end } : { at: -1, reach: blank !== null ? blank.index + blank[0].length : limit };
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
