"use strict";

// Definitions made outside any formula: those standing in the text, as in a
// paper's preamble, and those of the user's macros file. The typesetting
// workers and the page's export both make the definitions that hold before a
// formula from its chain, a list of what defined them in order: formulas
// ({ source, display }), definitions in the text ({ source, isDefinition })
// and the macros file ({ file, source }, file being its version).
(function () {
    // The typesetter's options. A definition is read at the outermost level,
    // so what it defines outlasts it, as a preamble's definitions do.
    function options(display, output, macros, isDefinition) {
        return {
            displayMode: display,
            output: output,
            throwOnError: true,
            // Only the marks the preview's own commands make (commands.js).
            trust: typeof texCommands !== "undefined" ? texCommands.trust : false,
            strict: "ignore",
            maxExpand: 1000,
            maxSize: 50,
            macros: macros,
            globalGroup: isDefinition === true,
        };
    }

    // \DeclareMathOperator and its starred form are made out of what the
    // typesetter knows.
    const OperatorHelpers = {
        "\\DeclareMathOperator": "\\@ifstar\\tamsel@operatorWithLimits\\tamsel@operator",
        "\\tamsel@operator": "\\def#1{\\operatorname{#2}}",
        "\\tamsel@operatorWithLimits": "\\def#1{\\operatorname*{#2}}",
    };

    // \newcommand, \renewcommand and \providecommand as LaTeX reads them:
    // a star (which only says the arguments are short) is passed over, and
    // an optional first argument may have a default,
    // \newcommand{\seq}[2][n]{...}. A preamble's \newcommand may name a
    // command the typesetter has and LaTeX lacks (\R, say); it then takes the
    // place of the typesetter's. Only a name defined by the user before
    // counts as taken; \providecommand leaves such a name as it is.
    function defineCommand(kind) {
        return (context) => {
            if (context.future().text === "*")
                context.popToken();
            const tokens = context.consumeArg().tokens;
            if (tokens.length !== 1 || !tokens[0].text.startsWith("\\"))
                throw new katex.ParseError("\\" + kind + "command's first argument must be a macro name");
            const name = tokens[0].text;
            const isTaken = Object.prototype.hasOwnProperty.call(context.macros.current, name);
            if (kind === "new" && isTaken)
                throw new katex.ParseError("\\newcommand{" + name + "} attempting to redefine " + name + "; use \\renewcommand");
            if (kind === "renew" && !context.isDefined(name))
                throw new katex.ParseError("\\renewcommand{" + name + "} when command " + name
                    + " does not yet exist; use \\newcommand");
            const count = bracketed(context);
            if (count !== null && !/^\s*[0-9]\s*$/.test(count.map((token) => token.text).join("")))
                throw new katex.ParseError("Invalid number of arguments: " + count.map((token) => token.text).join(""));
            const numArgs = count !== null ? parseInt(count.map((token) => token.text).join(""), 10) : 0;
            const optional = numArgs > 0 ? bracketed(context) : null;
            const body = context.consumeArg().tokens;
            if (kind === "provide" && isTaken)
                return "";
            if (optional === null) {
                context.macros.set(name, { tokens: body, numArgs: numArgs });
                return "";
            }
            // As LaTeX does it: the command looks for a bracket and hands
            // its helper the default when there is none.
            const helper = name + "@tamsel@optional";
            const delimiters = [["["], ["]"]].concat(Array.from({ length: numArgs - 1 }, () => []));
            context.macros.set(helper, { tokens: body, numArgs: numArgs, delimiters: delimiters });
            context.macros.set(name, "\\@ifnextchar[{" + helper + "}{" + helper + "[" + textOf(optional) + "]}");
            return "";
        };
    }

    // The tokens of an argument in brackets, in order, or null when none
    // comes next.
    function bracketed(context) {
        context.consumeSpaces();
        if (context.future().text !== "[")
            return null;
        context.popToken();
        const tokens = [];
        let depth = 0;
        for (let token = context.popToken(); token.text !== "]" || depth > 0; token = context.popToken()) {
            if (token.text === "EOF")
                throw new katex.ParseError("Unexpected end of input in an argument in brackets");
            depth += token.text === "{" ? 1 : token.text === "}" ? -1 : 0;
            tokens.push(token);
        }
        return tokens;
    }

    function textOf(tokens) {
        return tokens.map((token, index) => {
            const next = tokens[index + 1];
            return /^\\[A-Za-z@]+$/.test(token.text) && next !== undefined && /^[A-Za-z@]/.test(next.text)
                ? token.text + " " : token.text;
        }).join("");
    }

    // Makes the definitions of one definition into macros; throws the
    // typesetter's error for a faulty one, after what it defined before the
    // error. The helpers are there only meanwhile.
    function define(source, macros) {
        const helpers = Object.assign({ "\\newcommand": defineCommand("new"), "\\renewcommand": defineCommand("renew"),
            "\\providecommand": defineCommand("provide") }, OperatorHelpers);
        const added = Object.keys(helpers).filter((name) => !Object.prototype.hasOwnProperty.call(macros, name));
        for (const name of added)
            macros[name] = helpers[name];
        try {
            katex.__parse(source, options(false, "html", macros, true));
        } finally {
            for (const name of added) {
                if (macros[name] === helpers[name])
                    delete macros[name];
            }
        }
    }

    // A line that starts a definition, and so ends one left open.
    const DefinitionLine
        = /^\s*\\(?:newcommand|renewcommand|providecommand|DeclareMathOperator|def|gdef|edef|xdef|let)(?![A-Za-z@])/;

    // How much a line opens braces, escaped braces and comments aside.
    function braceBalance(line) {
        let depth = 0;
        for (let i = 0; i < line.length; ++i) {
            const c = line[i];
            if (c === "\\")
                ++i;
            else if (c === "%")
                break;
            else if (c === "{")
                ++depth;
            else if (c === "}")
                --depth;
        }
        return depth;
    }

    // The message without the typesetter's own place in the definition,
    // since the line says where it is.
    function messageOf(error) {
        return String(error && error.message || error).replace(/^KaTeX parse error: /, "")
            .replace(/ at (?:position \d+|end of input): [\s\S]*$/, "");
    }

    // Applies the macros file a definition at a time, so a faulty one is
    // reported with its line and the others still hold. A definition runs
    // over the lines until its braces close; a blank line or a line that
    // starts another definition ends one left open. Answers the faults:
    // [{ line, message }].
    function applyFile(source, macros) {
        const faults = [];
        const lines = source.split("\n");
        let first = 0;
        let depth = 0;
        const apply = (end) => {
            const chunk = lines.slice(first, end).join("\n");
            if (chunk.trim() !== "") {
                try {
                    define(chunk, macros);
                } catch (error) {
                    const before = Number.isInteger(error.position) ? chunk.slice(0, error.position) : "";
                    faults.push({ line: first + 1 + before.split("\n").length - 1, message: messageOf(error) });
                }
            }
            first = end;
            depth = 0;
        };
        lines.forEach((line, index) => {
            if (depth > 0 && (line.trim() === "" || DefinitionLine.test(line)))
                apply(index);
            depth += braceBalance(line);
            if (depth <= 0)
                apply(index + 1);
        });
        apply(lines.length);
        return faults;
    }

    // Makes what one entry of a chain defines into macros; a formula or a
    // definition that fails keeps what it defined before the error.
    function apply(entry, macros) {
        try {
            if (entry.file !== undefined)
                applyFile(entry.source, macros);
            else if (entry.isDefinition)
                define(entry.source, macros);
            else
                katex.__parse(entry.source, options(entry.display, "html", macros));
        } catch (error) {
            // What was defined before the error holds, as when it was shown.
        }
    }

    Object.defineProperty(globalThis, "texDefinitions", {
        value: Object.freeze({ options: options, define: define, applyFile: applyFile, apply: apply }),
        writable: false,
        configurable: false,
    });
})();
