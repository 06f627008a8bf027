"use strict";

// The preview in step with the editor. caretFollow.follow(place) keeps the
// piece at a place of the shown text in view, scrolling as little as it can
// and not at all when the piece is in view already; a double click on a
// formula hands the place where its source starts to the callback given to
// whenActivated(). A user who scrolled the preview by hand keeps the view
// until the caret moves.
(function () {
    const content = document.getElementById("content");
    // The room left between the piece and the edge of the view.
    const Margin = 8;
    // A part of the page kept from layout while out of view is laid out when
    // it scrolls in, and may move the piece a little; the following looks
    // again each frame until the piece has stood still for a few frames, and
    // a few times later on, as what the page adds in the typist's pauses
    // (the screen readers' copies) may move it again.
    const MaxFramesToSettle = 20;
    const StillFrames = 3;
    const LaterLooksMs = [300, 700, 1500];
    let settlingUntil = 0;

    let followedPlace = -1;
    // Where the page last scrolled itself to; any other place was the user's.
    let ownScrollY = window.scrollY;
    let isScrolledByUser = false;
    let onActivate = () => {};

    window.addEventListener("scroll", () => {
        if (Math.abs(window.scrollY - ownScrollY) >= 1)
            isScrolledByUser = true;
    }, { passive: true });

    // The box of the piece; for a run of text that of the character at the
    // place (its source offsets differ from the run's only by escaped dollars).
    function boxOf(piece, place) {
        if (piece.node.nodeType !== Node.TEXT_NODE)
            return piece.node.getBoundingClientRect();
        const data = piece.node.data;
        const at = Math.max(0, Math.min(place - piece.start, data.length - 1));
        const range = document.createRange();
        range.setStart(piece.node, at);
        range.setEnd(piece.node, Math.min(at + 1, data.length));
        return range.getBoundingClientRect();
    }

    // The edge of the view the least scroll brings the box to: none when it
    // is in view, the top when it is above or taller than the view.
    function edgeFor(box) {
        const height = window.innerHeight;
        if (box.top >= 0 && box.bottom <= height)
            return null;
        return box.top < 0 || box.height > height - 2 * Margin ? "top" : "bottom";
    }

    // Whether it had to scroll.
    function scrollTo(box, edge) {
        const delta = edge === "top" ? box.top - Margin : box.bottom - window.innerHeight + Margin;
        const isMoving = Math.abs(delta) >= 1;
        if (isMoving)
            window.scrollBy(0, delta);
        ownScrollY = window.scrollY;
        return isMoving;
    }

    // Brings the piece to the edge, and again in the next frames while the
    // parts laid out as they come into view move it.
    function bringIntoView(place) {
        const piece = pageUpdate.pieceAt(place);
        if (piece === null || !piece.node.isConnected)
            return;
        const edge = edgeFor(boxOf(piece, place));
        if (edge === null)
            return;
        let frames = MaxFramesToSettle;
        let still = 0;
        const look = () => {
            const isFollowing = !isScrolledByUser && followedPlace === place && piece.node.isConnected;
            return isFollowing && scrollTo(boxOf(piece, place), edge);
        };
        const settle = () => {
            still = look() ? 0 : still + 1;
            if (--frames > 0 && still < StillFrames)
                requestAnimationFrame(settle);
        };
        settle();
        for (const ms of LaterLooksMs)
            setTimeout(look, ms);
        settlingUntil = performance.now() + LaterLooksMs[LaterLooksMs.length - 1];
    }

    // Called once the shown text is the one the place belongs to.
    function follow(place) {
        const hasCaretMoved = place !== followedPlace;
        followedPlace = place;
        if (isScrolledByUser && !hasCaretMoved)
            return;
        isScrolledByUser = false;
        // A refresh may have moved the page under the user's place.
        ownScrollY = window.scrollY;
        bringIntoView(place);
    }

    content.addEventListener("dblclick", (event) => {
        let node = event.target;
        while (node !== null && node !== content && node.previewFormula === undefined)
            node = node.parentNode;
        if (node === null || node === content)
            return;
        const start = pageUpdate.startOf(node);
        if (start < 0)
            return;
        event.preventDefault();
        window.getSelection().removeAllRanges();
        onActivate(start);
    });

    Object.defineProperty(window, "caretFollow", {
        value: Object.freeze({
            follow: follow,
            // Whether a following may still scroll the page.
            isSettling: () => performance.now() <= settlingUntil,
            whenActivated: (callback) => {
                onActivate = callback;
            },
        }),
        writable: false,
        configurable: false,
    });
})();
