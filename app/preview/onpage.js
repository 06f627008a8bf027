"use strict";

// Formulas typeset on the page itself, without the round trip to a worker
// and back: pageTypesetter.typeset(holder, source, display, chain,
// isDefinition) draws the formula with its copy for screen readers into the
// holder and answers as a worker would ({} or { error }), or answers null
// when the formula is for a worker. Only formulas whose work the typesetter
// itself bounds come here: short ones with no definitions before them and
// none in them, so nothing can get round its expansion limit (an \edef that
// doubles its text could). And only a few milliseconds of them in a while,
// so the formulas of a long text still go to the workers, typeset alongside
// the page, and the page is never held. The typesetter is on the page once
// the first text is shown (export.js loads it); before, every formula goes
// to a worker.
(function () {
    const MaxSourceLength = 2000;
    const DefiningWords = new RegExp("\\\\(?:def|gdef|edef|xdef|let|futurelet|global|newcommand|renewcommand"
        + "|providecommand|DeclareMathOperator|DeclareRobustCommand|newenvironment|renewenvironment)(?![A-Za-z@])");
    // At most SliceMs of typesetting on the page in any WindowMs.
    const SliceMs = 8;
    const WindowMs = 100;
    let windowStart = -Infinity;
    let spent = 0;

    function isBounded(source, chain, isDefinition) {
        return !isDefinition && chain.length === 0 && source.length <= MaxSourceLength && !DefiningWords.test(source);
    }

    // What only a worker's drawing does: a multline rewritten before it is
    // read, the labels of a display formula found in its parse tree.
    function needsWorker(source, display) {
        return source.includes("multline") || (display && source.includes("\\label"));
    }

    // A command the typesetter lacks: a worker draws the formula with that
    // command marked in red, which beats hiding it behind its message.
    function lacksCommand(error) {
        return error instanceof katex.ParseError && /^KaTeX parse error: Undefined control sequence/.test(error.message);
    }

    function hasTime() {
        const now = performance.now();
        if (now - windowStart > WindowMs) {
            windowStart = now;
            spent = 0;
        }
        return spent < SliceMs;
    }

    // As the workers describe an error (typeset.js).
    function describe(error) {
        if (error instanceof katex.ParseError) {
            const described = { isTeX: true, message: String(error.message).replace(/^KaTeX parse error: /, "") };
            if (Number.isInteger(error.position)) {
                described.at = error.position;
                described.length = Number.isInteger(error.length) ? error.length : 0;
            }
            return described;
        }
        return { isTeX: false, message: String(error && error.message || error) };
    }

    function typeset(holder, source, display, chain, isDefinition) {
        if (typeof katex === "undefined" || !isBounded(source, chain, isDefinition) || needsWorker(source, display)
            || !hasTime())
            return null;
        const start = performance.now();
        let answer = {};
        try {
            katex.render(source, holder, texDefinitions.options(display, "htmlAndMathml", {}));
        } catch (error) {
            answer = lacksCommand(error) ? null : { error: describe(error) };
        }
        spent += performance.now() - start;
        return answer;
    }

    Object.defineProperty(window, "pageTypesetter", {
        value: Object.freeze({ typeset: typeset }),
        writable: false,
        configurable: false,
    });
})();
