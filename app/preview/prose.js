"use strict";

// The LaTeX of a paper's prose, shown as what it stands for: headings,
// styles, lists, theorem-like blocks, citations, footnotes, references and
// LaTeX's typography. prose.build(text) makes the nodes of a plain run of
// the text: a text node, as before, when the run holds none of these;
// otherwise a span of text nodes and elements, made with textContent only.
// What has a number (headings, items, blocks, footnotes) is a mark the
// page-wide pass prose.renumber(entries) numbers in the order of the whole
// page, so a run kept from the text before needs no rebuilding; it also
// gives each run the numbers its labels take (entry.proseLabels). A command
// it does not know stays as it is written.
(function () {
    // A run is read as LaTeX prose only when it holds one of these; a note in
    // Markdown ("5%", "--", "~/file") stays exactly as written.
    // The environments of formulas written outside any (their delimiters
    // lost or never there) are not the prose's.
    const LaTeXProse = /\\(?:(?:sub)*section|paragraph|emph|textit|textbf|texttt|underline|(?:begin|end)(?!\{(?:[pbBvV]?matrix|smallmatrix|array|[dr]?cases|aligned|alignedat|gathered|split|equation|align|alignat|gather|multline|CD|subarray)\*?\})|item|cite|footnote|ref|eqref|label|par|newtheorem|title|author|maketitle|documentclass|usepackage)(?![A-Za-z@])|\\\\|^[ \t]*%/m;
    const Headings = { section: 1, subsection: 2, subsubsection: 3, paragraph: 4 };
    // An article numbers its headings down to subsubsections.
    const NumberedLevels = 3;
    const Styles = { emph: "em", textit: "i", textbf: "b", texttt: "code", underline: "u" };
    const Lists = new Set(["itemize", "enumerate", "description"]);
    const Theorems = { theorem: "Theorem", lemma: "Lemma", proposition: "Proposition", corollary: "Corollary",
        definition: "Definition", remark: "Remark", example: "Example", conjecture: "Conjecture" };
    const Blocks = new Set(["proof", "abstract", "document"]);
    const Escapes = { "%": "%", "&": "&", "_": "_", "#": "#", "{": "{", "}": "}", "$": "$", ",": "\u2009",
        " ": " ", "ldots": "\u2026", "dots": "\u2026", "LaTeX": "LaTeX", "TeX": "TeX", "quad": "\u2003",
        "qquad": "\u2003\u2003", "noindent": "", "maketitle": "", "centering": "" };

    // The end of the group in braces opening at j, or -1.
    function groupEnd(text, j) {
        if (text[j] !== "{")
            return -1;
        let depth = 0;
        for (let k = j; k < text.length; ++k) {
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

    function optionEnd(text, j) {
        if (text[j] !== "[")
            return -1;
        const close = text.indexOf("]", j);
        return close >= 0 ? close + 1 : -1;
    }

    function element(tag, className, text) {
        const made = document.createElement(tag);
        if (className !== "")
            made.className = className;
        if (text !== undefined)
            made.textContent = text;
        return made;
    }

    // LaTeX's typography in plain text.
    function typography(text) {
        return text.replace(/---/g, "\u2014").replace(/--/g, "\u2013").replace(/``/g, "\u201c")
            .replace(/''/g, "\u201d").replace(/~/g, "\u00a0");
    }

    // Reads text from i to end into parent, the marks to be numbered going to
    // marks; offset is where text starts in the run.
    class Reader {
        constructor(text, offset, marks) {
            this.text = text;
            this.offset = offset;
            this.marks = marks;
        }

        read(parent, from, to) {
            const text = this.text;
            let plain = from;
            const flush = (at) => {
                if (at > plain)
                    parent.append(typography(text.slice(plain, at)));
                plain = Math.max(plain, at);
            };
            for (let i = from; i < to;) {
                const c = text[i];
                if (c === "%" && this.isCommentLine(i)) {
                    flush(this.lineStart(i));
                    const lineEnd = text.indexOf("\n", i);
                    i = plain = lineEnd >= 0 && lineEnd < to ? lineEnd + 1 : to;
                    continue;
                }
                if (c !== "\\") {
                    ++i;
                    continue;
                }
                const made = this.command(parent, i, to, flush);
                if (made < 0) {
                    i += 2;
                    continue;
                }
                i = plain = made;
            }
            flush(to);
        }

        lineStart(i) {
            let j = i;
            while (j > 0 && (this.text[j - 1] === " " || this.text[j - 1] === "\t"))
                --j;
            return j;
        }

        isCommentLine(i) {
            const start = this.lineStart(i);
            return start === 0 || this.text[start - 1] === "\n";
        }

        // A block's command filling its line takes the line break along.
        after(end, to) {
            let j = end;
            while (j < to && (this.text[j] === " " || this.text[j] === "\t"))
                ++j;
            return this.text[j] === "\n" && j < to ? j + 1 : end;
        }

        mark(parent, tag, className, details) {
            const made = element(tag, className);
            made.proseMark = details;
            parent.append(made);
            this.marks.push(made);
            return made;
        }

        // Makes what the command at i stands for; answers where it ends, or
        // -1 when it is left as written.
        command(parent, i, to, flush) {
            const text = this.text;
            if (text[i + 1] === "\\") {
                flush(i);
                parent.append("\n");
                return i + 2;
            }
            const name = /^\\([A-Za-z@]+|.)(\*?)/.exec(text.slice(i, Math.min(to, i + 40)));
            if (name === null)
                return -1;
            const word = name[1];
            let j = i + name[0].length;
            if (Object.prototype.hasOwnProperty.call(Escapes, word) && name[2] === "") {
                flush(i);
                parent.append(Escapes[word]);
                return /^[A-Za-z]/.test(word) && text[j] === " " ? j + 1 : j;
            }
            if (word === "par") {
                flush(i);
                parent.append("\n");
                return j;
            }
            const option = optionEnd(text, j);
            const argumentAt = option >= 0 ? option : j;
            const end = groupEnd(text, argumentAt);
            if (word === "item") {
                flush(i);
                const label = option >= 0 ? text.slice(j + 1, option - 1) : null;
                this.mark(parent, "span", "preview-item", { kind: "item", label: label });
                return option >= 0 ? option : j;
            }
            if (end < 0 || end > to)
                return -1;
            const argument = text.slice(argumentAt + 1, end - 1);
            flush(i);
            if (Headings[word] !== undefined) {
                const heading = this.mark(parent, "span", "preview-heading preview-heading-" + Headings[word],
                    { kind: "heading", level: Headings[word], isNumbered: name[2] === "" && Headings[word] <= NumberedLevels });
                heading.append(element("span", "preview-number"));
                this.read(heading, argumentAt + 1, end - 1);
                return this.after(end, to);
            }
            if (Styles[word] !== undefined) {
                const styled = element(Styles[word], "");
                this.read(styled, argumentAt + 1, end - 1);
                parent.append(styled);
                return end;
            }
            if (word === "title" || word === "author") {
                const block = element("span", "preview-" + word);
                this.read(block, argumentAt + 1, end - 1);
                parent.append(block);
                return this.after(end, to);
            }
            if (word === "cite") {
                const keys = argument.split(",").map((key) => key.trim()).join(", ");
                parent.append(element("span", "preview-cite",
                    "[" + keys + (option >= 0 ? ", " + typography(text.slice(j + 1, option - 1)) : "") + "]"));
                return end;
            }
            if (word === "ref" || word === "eqref") {
                const reference = element("span", "preview-ref", word === "eqref" ? "(??)" : "??");
                reference.referenceKey = argument.trim();
                reference.referenceKind = word === "eqref" ? "eq" : "ref";
                reference.sourceAt = this.offset + i;
                reference.sourceLength = end - i;
                parent.append(reference);
                return end;
            }
            if (word === "label") {
                // A label right after a heading or a block's title goes with
                // it, line break and all.
                const last = parent.lastChild;
                const isAfterHeading = last !== null && last.classList !== undefined
                    && (last.classList.contains("preview-heading") || last.classList.contains("preview-environment"));
                this.mark(parent, "span", "preview-label", { kind: "label", key: argument.trim() });
                return isAfterHeading ? this.after(end, to) : end;
            }
            if (word === "footnote") {
                this.mark(parent, "sup", "preview-footnote-mark", { kind: "footnote" });
                const note = element("span", "preview-footnote");
                this.read(note, argumentAt + 1, end - 1);
                parent.append(note);
                return end;
            }
            if (word === "begin" || word === "end")
                return this.environment(parent, word, argument, i, end, to);
            if (word === "documentclass" || word === "usepackage") {
                parent.append(element("span", "preview-preamble", text.slice(i, end)));
                return this.after(end, to);
            }
            if (word === "newtheorem")
                return this.newTheorem(parent, name[2] === "*", argument, i, end, to);
            return -1;
        }

        // \begin{name}[title] and \end{name}: the numbering pass shows what
        // they stand for, or their source for an environment it does not
        // know.
        environment(parent, word, name, i, end, to) {
            let last = end;
            let title = null;
            if (word === "begin") {
                const option = optionEnd(this.text, end);
                if (option >= 0) {
                    title = this.text.slice(end + 1, option - 1);
                    last = option;
                }
            }
            // The end of a proof stands on its last line, as its box does.
            const before = parent.lastChild;
            if (word === "end" && name === "proof" && before !== null && before.nodeType === Node.TEXT_NODE)
                before.data = before.data.replace(/\s*\n\s*$/, " ");
            // The line break after a beginning goes with it: a block's title
            // runs into the block's first line, as in LaTeX (one it does not
            // know shows its source and the line break again); the end of a
            // block ends its line.
            const next = word === "begin" || Lists.has(name) || name === "document" ? this.after(last, to) : last;
            this.mark(parent, "span", "preview-environment",
                { kind: word, name: name, title: title, source: this.text.slice(i, next) });
            return next;
        }

        // \newtheorem{name}[shared]{Title} or \newtheorem{name}{Title}[within].
        newTheorem(parent, isStarred, name, i, end, to) {
            const text = this.text;
            const shared = optionEnd(text, end);
            const titleAt = shared >= 0 ? shared : end;
            const titleEnd = groupEnd(text, titleAt);
            if (titleEnd < 0 || titleEnd > to)
                return -1;
            const within = optionEnd(text, titleEnd);
            this.mark(parent, "span", "preview-newtheorem", { kind: "newtheorem", name: name,
                title: text.slice(titleAt + 1, titleEnd - 1), isNumbered: !isStarred,
                shared: shared >= 0 ? text.slice(end + 1, shared - 1) : null });
            return this.after(within >= 0 ? within : titleEnd, to);
        }
    }

    function build(text, offset) {
        if (!LaTeXProse.test(text))
            return { node: document.createTextNode(text) };
        const marks = [];
        const span = element("span", "preview-prose");
        // A copy of the preview takes the prose as it was written.
        span.proseSource = text;
        new Reader(text, offset || 0, marks).read(span, 0, text.length);
        return { node: span, marks: marks };
    }

    // The page-wide numbering of what the prose marks, in page order.
    function renumber(entries) {
        const state = { sections: [0, 0, 0, 0], counters: new Map(), theorems: new Map(Object.entries(Theorems)
            .map(([name, title]) => [name, { title: title, counter: "theorem", isNumbered: true }])),
        lists: [], footnotes: 0, current: "" };
        for (const entry of entries) {
            if (entry.proseMarks === undefined) {
                if (entry.numbers > 0)
                    state.current = String(entry.numberedFrom + entry.numbers);
                continue;
            }
            entry.proseLabels = [];
            for (const made of entry.proseMarks)
                show(made, made.proseMark, state, entry);
        }
    }

    function setText(made, text) {
        if (made.textContent !== text)
            made.textContent = text;
    }

    function show(made, mark, state, entry) {
        if (mark.kind === "heading") {
            const number = made.firstChild;
            if (!mark.isNumbered) {
                setText(number, "");
                return;
            }
            state.sections[mark.level - 1] += 1;
            state.sections.fill(0, mark.level);
            state.current = state.sections.slice(0, mark.level).join(".");
            setText(number, state.current + "\u2003");
        } else if (mark.kind === "label") {
            entry.proseLabels.push({ key: mark.key, value: state.current });
        } else if (mark.kind === "footnote") {
            state.footnotes += 1;
            setText(made, String(state.footnotes));
        } else if (mark.kind === "newtheorem") {
            state.theorems.set(mark.name, { title: mark.title, counter: mark.shared || mark.name, isNumbered: mark.isNumbered });
        } else if (mark.kind === "item") {
            showItem(made, mark, state);
        } else {
            showEnvironment(made, mark, state);
        }
    }

    function showItem(made, mark, state) {
        const list = state.lists[state.lists.length - 1];
        made.style.marginLeft = list !== undefined ? (state.lists.length - 1) * 1.5 + "em" : "";
        if (list === undefined) {
            setText(made, "\\item" + (mark.label !== null ? "[" + mark.label + "]" : ""));
        } else if (mark.label !== null) {
            setText(made, mark.label);
            made.classList.toggle("preview-item-label", list.name === "description");
        } else if (list.name === "enumerate") {
            list.count += 1;
            setText(made, (state.lists.filter((l) => l.name === "enumerate").length > 1
                ? "(" + String.fromCharCode(96 + list.count) + ")" : list.count + "."));
        } else {
            setText(made, state.lists.length > 1 ? "\u2013" : "\u2022");
        }
    }

    function showEnvironment(made, mark, state) {
        const theorem = state.theorems.get(mark.name);
        let shown = mark.source;
        let className = "preview-environment";
        if (Lists.has(mark.name)) {
            if (mark.kind === "begin")
                state.lists.push({ name: mark.name, count: 0 });
            else if (state.lists.length > 0 && state.lists[state.lists.length - 1].name === mark.name)
                state.lists.pop();
            shown = "";
        } else if (mark.name === "document") {
            shown = "";
        } else if (theorem !== undefined) {
            shown = "";
            if (mark.kind === "begin") {
                let number = "";
                if (theorem.isNumbered) {
                    const count = (state.counters.get(theorem.counter) || 0) + 1;
                    state.counters.set(theorem.counter, count);
                    number = " " + count;
                    state.current = String(count);
                }
                shown = theorem.title + number + (mark.title !== null ? " (" + mark.title + ")" : "") + ". ";
                className += " preview-theorem";
            }
        } else if (Blocks.has(mark.name)) {
            const isProof = mark.name === "proof";
            shown = mark.kind === "end" ? (isProof ? "\u25a1" : "")
                : isProof ? (mark.title !== null ? "Proof of " + mark.title : "Proof") + ". " : "Abstract";
            className += isProof ? (mark.kind === "end" ? " preview-qed" : " preview-proof") : " preview-abstract";
        }
        if (made.className !== className)
            made.className = className;
        setText(made, shown);
    }

    Object.defineProperty(window, "prose", {
        value: Object.freeze({ build: build, renumber: renumber }),
        writable: false,
        configurable: false,
    });
})();
