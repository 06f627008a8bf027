"use strict";

// The preview page. On every refresh the host calls preview.show(text, notice),
// or preview.change(...) with only what changed since the text it gave last;
// both answer at once with the text's serial number, and the page tells the
// host through its channel (shown) when that text is shown with every formula
// typeset. After each text the host calls preview.follow(place) with the
// place of the editor's caret in it, which the page keeps in view once the
// text is shown (following.js), and preview.setPalette(...) when the desktop
// colours change. Before a text, the host may call preview.useMacros(source,
// name, notice) with the user's macros file, whose definitions then hold
// before every formula. The text is the user's and is only ever inserted as
// text nodes or handed to the typesetter; it never becomes markup or code.
// The cutting into pieces (cutting.js), the in-place update (update.js, with
// the page's blocks in blocks.js) and the typesetting (workers.js,
// drawing.js, copies.js, typesetting.js, definitions.js) are scripts of their
// own; this one takes the host's texts and answers it.
(function () {
    const notice = document.getElementById("notice");

    // The text the page has been given, which it shows once its formulas
    // are typeset, and its notice. Each text given gets the next serial
    // number; the host hears it back with the milliseconds from the text's
    // arrival to its showing, layout included, once every formula of it is
    // typeset (or given up).
    let givenText = null;
    let givenNotice = "";
    let givenAt = 0;
    let serial = 0;
    let reportedSerial = 0;
    // What the host said changed since the shown text, when it is the text
    // it changed.
    let givenEnds = null;
    let isUpdating = false;
    // Formulas whose definitions came after the refresh went on.
    const lateFormulas = [];
    // The place of the editor's caret in the text given last, followed once
    // that text is shown.
    let caretPlace = -1;
    // The macros file the host gave last, the one in use, and what the page
    // has to say about it.
    let givenMacros = null;
    let usedMacros = null;
    let macrosNotice = "";

    // The text is shown in place, so the scroll position stays where the
    // user left it. The same text again typesets nothing.
    function show(text, noticeText) {
        return give(text, { head: 0, tail: 0 }, noticeText);
    }

    // The text differs from the one given before only between its first head
    // and its last tail characters; the host sends only what lies between.
    // A text cut to a bounded length comes with its cut end moved by the
    // edit: then only its first keep characters are the ones so joined, and
    // the new end follows them. Answers -1, taking nothing, when the page has
    // another text than the host thought.
    function change(givenLength, head, tail, middle, noticeText, keep, end) {
        if (givenText === null || givenText.length !== givenLength || head + tail > givenLength)
            return -1;
        const joined = head + tail === givenLength && middle === ""
            ? givenText : givenText.slice(0, head) + middle + givenText.slice(givenLength - tail);
        if (keep === undefined)
            return give(joined, { head: head, tail: tail }, noticeText);
        if (keep < head + middle.length || keep > joined.length)
            return -1;
        return give(joined.slice(0, keep) + end, { head: head, tail: tail, joined: joined, keep: keep }, noticeText);
    }

    function give(text, ends, noticeText) {
        givenEnds = !isUpdating && givenText === pageUpdate.shownText() ? ends : null;
        givenText = text;
        givenNotice = noticeText;
        givenAt = performance.now();
        ++serial;
        if (!isUpdating)
            run();
        return serial;
    }

    // The macros file changed: its text (empty when there is none), its name
    // for the notices, and what the host found wrong with the file itself.
    function useMacros(source, name, noticeText) {
        const version = (givenMacros !== null ? givenMacros.version : 0) + 1;
        givenMacros = { source: source, name: name, notice: noticeText, version: version };
        if (!isUpdating)
            run();
    }

    // The faults found in the macros file, a line each, the first few of
    // them.
    const MaxFaultsShown = 10;

    function describeMacros(macros, found) {
        const lines = macros.notice !== "" ? [macros.notice] : [];
        if (found.error !== undefined) {
            lines.push(macros.name + ": " + (found.error.isTimeout ? "its definitions take too long to make (over "
                + typesetWorkers.budgetMs / 1000 + " seconds) and are not used." : found.error.message));
        }
        const faults = found.faults || [];
        for (const fault of faults.slice(0, MaxFaultsShown))
            lines.push(macros.name + ", line " + fault.line + ": " + fault.message);
        if (faults.length > MaxFaultsShown)
            lines.push(macros.name + ": " + (faults.length - MaxFaultsShown) + " more faulty lines.");
        return lines.join("\n");
    }

    pageUpdate.whenLate((entry) => {
        lateFormulas.push(entry);
        if (!isUpdating)
            run();
    });

    // Brings the page to the text given last, one update at a time; texts
    // given meanwhile are taken together.
    async function run() {
        isUpdating = true;
        try {
            for (;;) {
                const shownText = pageUpdate.shownText();
                if (givenMacros !== usedMacros) {
                    // The whole text is cut again with the new definitions;
                    // what they leave as it was keeps its nodes.
                    usedMacros = givenMacros;
                    const found = await pageUpdate.useFile(usedMacros.source, usedMacros.version);
                    macrosNotice = describeMacros(usedMacros, found);
                    if (givenText !== null)
                        await pageUpdate.update(givenText, 0, 0);
                } else if (givenText !== shownText) {
                    const text = givenText;
                    const ends = givenEnds !== null ? givenEnds : sharedEnds(shownText === null ? "" : shownText, text);
                    givenEnds = null;
                    // An edit before the cut of a text cut to length goes in
                    // as two changes: the edit, then the cut end.
                    if (ends.joined !== undefined) {
                        await pageUpdate.update(ends.joined, ends.head, ends.tail);
                        await pageUpdate.update(text, ends.keep, 0);
                    } else {
                        await pageUpdate.update(text, ends.head, ends.tail);
                    }
                } else if (lateFormulas.length > 0) {
                    const entry = lateFormulas.shift();
                    if (!entry.node.isGone)
                        await pageUpdate.update(shownText, entry.end - 1, 0);
                } else {
                    break;
                }
            }
            const shownNotice = [givenNotice, macrosNotice].filter((text) => text !== "").join("\n");
            if (notice.textContent !== shownNotice) {
                notice.textContent = shownNotice;
                notice.hidden = shownNotice === "";
            }
        } finally {
            isUpdating = false;
        }
        followCaret();
        reportWhenShown();
    }

    // The host says where the editor's caret is in the text it gave last.
    function follow(place) {
        caretPlace = place;
        if (!isUpdating)
            followCaret();
    }

    function followCaret() {
        if (caretPlace < 0 || givenText !== pageUpdate.shownText())
            return;
        caretFollow.follow(caretPlace);
    }

    // How long the two texts agree at the start and, after that, at the end.
    function sharedEnds(before, text) {
        const shorter = Math.min(before.length, text.length);
        let head = 0;
        while (head < shorter && before.charCodeAt(head) === text.charCodeAt(head))
            ++head;
        let tail = 0;
        while (tail < shorter - head
            && before.charCodeAt(before.length - 1 - tail) === text.charCodeAt(text.length - 1 - tail))
            ++tail;
        return { head: head, tail: tail };
    }

    // The host hears through its channel; it may be ready only after the
    // first text was shown.
    let host = null;
    // The page says once, after the first text shown has been painted, that
    // it was.
    let isShownOnce = false;

    // A formula shown as an error was typeset later: the host hears the
    // errors of the text shown again.
    let areErrorsStale = false;

    function reportWhenShown() {
        if (isUpdating || givenText !== pageUpdate.shownText() || !typesetting.isSettled() || host === null)
            return;
        if (reportedSerial === serial) {
            if (areErrorsStale)
                host.errorsShown(serial, pageUpdate.errors());
            areErrorsStale = false;
            return;
        }
        areErrorsStale = false;
        reportedSerial = serial;
        void document.body.offsetHeight;
        host.errorsShown(serial, pageUpdate.errors().concat(pageReferences.warnings()).sort((a, b) => a.start - b.start));
        host.shown(serial, performance.now() - givenAt);
        if (!isShownOnce) {
            isShownOnce = true;
            typesetting.afterPaint(() => document.dispatchEvent(new Event("previewshown")));
        }
    }

    if (typeof QWebChannel !== "undefined" && window.qt && qt.webChannelTransport) {
        new QWebChannel(qt.webChannelTransport, (channel) => {
            host = channel.objects.pane;
            caretFollow.whenActivated((place) => host.formulaActivated(place));
            reportWhenShown();
        });
    }

    // The selection's colours and the scheme (the scroll bars' "dark" or
    // "light") come with the desktop's palette too.
    function setPalette(background, text, error, selection, selectedText, scheme) {
        const style = document.documentElement.style;
        style.setProperty("--preview-bg", background);
        style.setProperty("--preview-fg", text);
        style.setProperty("--preview-error", error);
        if (selection) {
            style.setProperty("--preview-selection", selection);
            style.setProperty("--preview-selected-text", selectedText);
        }
        if (scheme)
            style.colorScheme = scheme;
    }

    typesetting.whenSettled(reportWhenShown);
    typesetting.whenRedrawn(() => {
        areErrorsStale = true;
        reportWhenShown();
    });

    Object.defineProperty(window, "preview", {
        value: Object.freeze({ show: show, change: change, follow: follow, useMacros: useMacros, setPalette: setPalette }),
        writable: false,
        configurable: false,
    });
})();
