"use strict";

// The page's in-place update: pageUpdate.update(text, head, tail) brings the
// page from the text it shows to the given one, typesetting only the pieces
// that are new or changed and keeping every other piece's node. A formula
// whose definitions come after the update went on is handed to the callback
// given to whenLate(), so the pieces after it are cut again. useFile() makes
// the macros file's definitions hold before the first piece.
(function () {
    const content = document.getElementById("content");

    // Definitions made with \gdef in one formula hold for the later ones of
    // the same text, as in a document. A formula is typeset the same only
    // when the definitions before it are the same, so they are part of what
    // identifies a formula; the worker's compact description of them serves.
    // A state of the definitions also keeps the formulas that made them (so
    // a new worker can make them again) and the names whose use may define
    // more.
    const NoDefinitions = { definitions: "", chain: [], defining: null };
    // The definitions of the user's macros file hold before the text's first
    // piece.
    let fileState = NoDefinitions;

    // A description of the definitions may be long (a macros file's is as
    // long as its definitions), so each one the page meets stands for a short
    // name of its own in the keys. Names are never given again: once many
    // are known they are forgotten and names of a new series given.
    const MaxNames = 256;
    let names = new Map();
    let series = 0;

    function nameOf(description) {
        if (description === "")
            return "";
        let name = names.get(description);
        if (name === undefined) {
            if (names.size >= MaxNames) {
                names = new Map();
                ++series;
            }
            name = series + "." + names.size;
            names.set(description, name);
        }
        return name;
    }

    function escapeForPattern(text) {
        return text.replace(/[\\^$.*+?()[\]{}|]/g, "\\$&");
    }

    function definingPattern(names) {
        if (names.length === 0)
            return null;
        const alternatives = names.map((name) => escapeForPattern(name) + (/[A-Za-z@]$/.test(name) ? "(?![A-Za-z@])" : ""));
        return new RegExp(alternatives.join("|"));
    }

    // Only a formula that says \gdef, \xdef or \global, or uses a name
    // defined to say one, can change the definitions after it: a plain
    // \def or \newcommand ends with its formula. A definition in the text
    // is there to define.
    function mayDefine(part, state) {
        const source = part.source;
        return part.isDefinition === true || /\\(?:gdef|xdef|global)(?![A-Za-z@])/.test(source)
            || (state.defining !== null && state.defining.test(source));
    }

    // What the page shows, one entry per piece in order: the piece's key (its
    // kind, for a formula the definitions before it, and its source), its
    // node, and for a formula the definitions after it.
    let shownText = null;
    let shown = [];

    function keyOf(part, definitions) {
        if (part.text !== undefined)
            return "t" + part.text;
        const kind = part.isDefinition ? "m" : part.display ? "d" : "i";
        return kind + definitions.length + ":" + definitions + part.source;
    }

    // The elements this refresh made, while it goes on.
    let made = [];
    let onLate = () => {};

    // A new piece: text at once, a formula typeset by a worker. A formula
    // that may change the definitions has its definitions after it once its
    // typesetting is done. A definition in the text shows nothing, unless it
    // fails.
    function build(part, key, state) {
        if (part.text !== undefined) {
            const built = prose.build(part.text);
            return { key: key, node: built.node, proseMarks: built.marks };
        }
        const holder = document.createElement(part.display ? "div" : "span");
        holder.className = part.isDefinition ? "preview-definition"
            : part.display ? "preview-display" : "preview-inline";
        made.push(holder);
        const entry = { key: key, node: holder, state: state, isDisplay: part.display,
            isCut: part.display && pageBlocks.endsBlock(key), mayDefine: mayDefine(part, state) };
        entry.typeset = typesetting.typeset(holder, part.source, part.display, state.chain, (answer) => {
            entry.isAnswered = true;
            entry.error = answer.error;
            entry.labels = answer.labels;
            if (!entry.mayDefine || answer.definitions === undefined)
                return;
            const definer = part.isDefinition ? { source: part.source, display: false, isDefinition: true }
                : { source: part.source, display: part.display };
            entry.state = { definitions: nameOf(answer.definitions), chain: state.chain.concat([definer]),
                defining: definingPattern(answer.definingNames) };
            // A refresh went on without a slow formula's definitions; the
            // pieces after it are cut again.
            if (entry.isLate)
                onLate(entry);
        }, part.isDefinition);
        return entry;
    }

    // Makes the macros file's definitions (its text and version) the ones
    // before the text's first piece; the next update cuts the whole text
    // again. Answers the faults found in the file ([{ line, message }]), or
    // the error when it cannot be made in time, and then holds none of it.
    async function useFile(source, version) {
        fileState = NoDefinitions;
        if (source.trim() === "")
            return { faults: [] };
        const chain = [{ file: version, source: source }];
        const answer = await typesetting.checkFile(chain);
        if (answer.error !== undefined)
            return { error: answer.error };
        fileState = { definitions: nameOf(answer.definitions), chain: chain,
            defining: definingPattern(answer.definingNames) };
        return { faults: answer.faults };
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
    // the last formula before it that the cutting made without looking at
    // the changed part (a broken formula's cutting looks on to the end of
    // its paragraph or of the text), and it stops at the first formula past the
    // last difference that ends where a shown formula ended, with the same
    // definitions after it: from there on the text cuts as before. New or
    // changed pieces are typeset; every other piece keeps its node, and with
    // it its layout.
    async function update(text, head, tail) {
        const before = shownText === null ? "" : shownText;
        const shift = text.length - before.length;
        let first = firstEndingAfter(head - 1);
        while (first > 0 && (!shown[first - 1].isDelimited || shown[first - 1].reach > head))
            --first;
        const last = shown[first - 1];
        let state = last !== undefined ? last.state : fileState;
        const candidates = new Candidates(first);
        const lastChanged = firstEndingAfter(before.length - tail - 1);
        const next = shown.slice(0, first);
        // Where the pieces cut again end; the shown entries keep their places
        // until the cutting is done.
        const places = [];
        let resumeAt = shown.length;
        const drawings = [];
        for (const part of cutting.pieces(text, last !== undefined ? last.end : 0)) {
            const key = keyOf(part, state.definitions);
            candidates.cover(lastChanged, part.end - shift);
            let entry = candidates.take(key);
            if (entry === undefined) {
                entry = build(part, key, state);
                if (entry.typeset !== undefined)
                    drawings.push(entry.typeset);
                // The pieces after a formula that may define something
                // depend on what it defined.
                if (entry.mayDefine) {
                    await entry.typeset;
                    entry.isLate = !entry.isAnswered;
                }
            }
            next.push(entry);
            places.push(part);
            // What the export of a formula needs: its source with and without
            // its delimiters, and the formulas whose definitions hold before it.
            if (part.source !== undefined)
                entry.node.previewFormula = { tex: part.raw || part.source, source: part.source,
                    display: part.display, chain: state.chain };
            // Plain text leaves the definitions as they are.
            if (part.text !== undefined)
                continue;
            state = entry.state;
            const resume = resumption(part, first, shift, tail, text.length, state.definitions);
            if (resume >= 0 && candidates.allTakenBefore(resume)) {
                resumeAt = resume;
                break;
            }
        }
        // The page changes once the new formulas are drawn (or turn out
        // slow, and come later), so a refresh never shows a formula missing.
        await Promise.all(drawings);
        // What no piece took any more has left the text.
        const taken = new Set(candidates.taken);
        for (let index = first; index < resumeAt; ++index) {
            if (!taken.has(index)) {
                shown[index].node.remove();
                shown[index].node.isGone = true;
            }
        }
        // A worker slow on a formula that left the text is ended now.
        typesetting.letGoOfGone();
        let reach = last !== undefined ? last.reach : 0;
        places.forEach((part, index) => {
            reach = Math.max(reach, part.reach);
            Object.assign(next[first + index], { end: part.end, isDelimited: part.isDelimited === true, reach: reach });
            // A formula taken again may stand between other delimiters.
            if (part.source !== undefined)
                Object.assign(next[first + index], { sourceOffset: part.sourceOffset, length: (part.raw || part.source).length });
        });
        for (let index = resumeAt; index < shown.length; ++index) {
            shown[index].end += shift;
            shown[index].reach = Math.max(reach, shown[index].reach + shift);
            next.push(shown[index]);
        }
        pageBlocks.show(next, first, first + places.length, made);
        made = [];
        shown = next;
        shownText = text;
        equationNumbers.renumber(shown);
        prose.renumber(shown);
        pageReferences.resolve(shown);
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
            || entry.state.definitions !== definitions)
            return -1;
        return index + 1;
    }

    // The formulas of the shown text that could not be typeset, in order:
    // where each stands in the text (start, end), where the typesetter
    // stopped in it (errorAt to errorEnd; the start of its source when the
    // typesetter does not say), how far its cutting looked (reach: an edit
    // before that may change it) and why.
    function errors() {
        const found = [];
        shown.forEach((entry, index) => {
            if (entry.error === undefined || entry.node.isGone)
                return;
            const start = index > 0 ? shown[index - 1].end : 0;
            const end = start + entry.length;
            const sourceStart = start + entry.sourceOffset;
            const at = entry.error.at !== undefined ? Math.min(sourceStart + entry.error.at, end - 1) : sourceStart;
            const errorEnd = Math.min(Math.max(at + (entry.error.length || 0), at + 1), end);
            found.push({ start: start, end: end, errorAt: at, errorEnd: errorEnd, reach: entry.reach,
                message: formulaDrawing.describe(entry.error) });
        });
        return found;
    }

    // The shown piece at a place of the shown text: the formula whose source
    // holds the place or ends just before it (the line break a display
    // formula takes along does not count), else the piece that holds it;
    // with where the piece starts. Null on an empty page.
    function pieceAt(place) {
        const startOfIndex = (index) => index > 0 ? shown[index - 1].end : 0;
        const before = place > 0 ? firstEndingAfter(place - 1) : shown.length;
        const isAtFormula = before < shown.length && shown[before].length !== undefined
            && place <= startOfIndex(before) + shown[before].length;
        const index = isAtFormula ? before : Math.min(firstEndingAfter(place), shown.length - 1);
        return index < 0 ? null : { node: shown[index].node, start: startOfIndex(index) };
    }

    // Where the piece shown in the node starts in the shown text, or -1.
    function startOf(node) {
        const index = shown.findIndex((entry) => entry.node === node);
        return index < 0 ? -1 : index > 0 ? shown[index - 1].end : 0;
    }

    Object.defineProperty(window, "pageUpdate", {
        value: Object.freeze({
            update: update,
            useFile: useFile,
            errors: errors,
            pieceAt: pieceAt,
            startOf: startOf,
            shownText: () => shownText,
            whenLate: (callback) => {
                onLate = callback;
            },
        }),
        writable: false,
        configurable: false,
    });
})();
