"use strict";

// The page's blocks: pageBlocks.show(entries, changedFrom, changedTo, made)
// puts the nodes of the shown pieces into the blocks of the page, keeping
// every block none of whose pieces changed; the elements it makes are added
// to made. pageBlocks.endsBlock(key) says whether a display formula of this
// key ends its block.
(function () {
    const content = document.getElementById("content");

    // A display formula ends a block of the page when its key says so, so
    // the blocks depend on the pieces themselves and an insertion or a
    // deletion changes only the block it falls in; a block ends at the first
    // display formula after MaxBlockPieces pieces at the latest.
    const MaxBlockPieces = 64;
    const FewPieces = 8;

    // The hash mixes every character into every bit: with a multiplier
    // like 31 the low bits depend only on a sum of the characters with
    // alternating signs, so in a text of formulas alike (a number written
    // twice in each, definitions in front) they came out the same for
    // almost every key, and every formula was a block of its own.
    function endsBlock(key) {
        let hash = 0x811c9dc5;
        for (let j = 0; j < key.length; ++j)
            hash = Math.imul(hash ^ key.charCodeAt(j), 0x01000193);
        hash = Math.imul(hash ^ (hash >>> 16), 0x85ebca6b);
        hash ^= hash >>> 13;
        return (hash & 15) === 0;
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
        typesetting.afterPaint(() => {
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
    function arrange(blockList, changedFrom, changedTo, made) {
        const oldBlocks = Array.from(content.children);
        const claimed = new Set();
        const elements = blockList.map((block) => {
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

    // A text of a few pieces is shown whole: keeping what is out of view from
    // being laid out would only cost the engine a second pass to find that
    // all of it is in view.
    function show(entries, changedFrom, changedTo, made) {
        arrange(blocks(entries), changedFrom, changedTo, made);
        const isInBlocks = entries.length > FewPieces;
        content.classList.toggle("preview-blocks", isInBlocks);
        if (isInBlocks)
            showWholeOnce(made);
    }

    Object.defineProperty(window, "pageBlocks", {
        value: Object.freeze({ show: show, endsBlock: endsBlock }),
        writable: false,
        configurable: false,
    });
})();
