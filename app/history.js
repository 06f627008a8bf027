"use strict";

// The History window's list. The window tells it the entries, which of them
// to show and which is selected; it tells the window of a click or a double
// click through the page's title ("select <entry>" or "pick <entry>", then a
// count so that each click changes the title).
const historyList = (() => {
    const list = document.getElementById("list");
    let entries = [];
    let clicks = 0;

    function tell(what, row) {
        clicks += 1;
        document.title = what + " " + row.dataset.entry + " " + clicks;
    }

    // A preview is typeset when its row comes into view, so a long history
    // opens at once.
    const typesetter = new IntersectionObserver((seen) => {
        for (const sight of seen) {
            if (!sight.isIntersecting || sight.target.dataset.done)
                continue;
            sight.target.dataset.done = "1";
            const math = sight.target.querySelector(".math");
            try {
                katex.render(entries[sight.target.dataset.entry].tex, math,
                    { displayMode: false, throwOnError: false, maxSize: 20, maxExpand: 200, trust: false });
            } catch (error) {
                math.textContent = entries[sight.target.dataset.entry].tex;
            }
        }
    });

    function makeRow(index) {
        const row = document.createElement("div");
        row.className = "row";
        row.dataset.entry = String(index);
        const head = document.createElement("div");
        head.className = "head";
        const time = document.createElement("span");
        time.className = "time";
        time.textContent = entries[index].time;
        const first = document.createElement("span");
        first.className = "first";
        first.textContent = entries[index].first;
        head.append(time, first);
        const math = document.createElement("div");
        math.className = "math";
        row.append(head, math);
        typesetter.observe(row);
        return row;
    }

    function setEntries(given) {
        entries = given;
    }

    function show(indexes, selected) {
        typesetter.disconnect();
        list.replaceChildren(...indexes.map(makeRow));
        select(selected);
    }

    function select(row) {
        for (const old of list.querySelectorAll(".selected"))
            old.classList.remove("selected");
        const chosen = list.children[row];
        if (!chosen)
            return;
        chosen.classList.add("selected");
        chosen.scrollIntoView({ block: "nearest" });
    }

    function setPalette(background, text, selection, selectedText) {
        const style = document.documentElement.style;
        style.setProperty("--bg", background);
        style.setProperty("--fg", text);
        style.setProperty("--sel-bg", selection);
        style.setProperty("--sel-fg", selectedText);
    }

    list.addEventListener("click", (event) => {
        const row = event.target.closest(".row");
        if (row)
            tell("select", row);
    });
    list.addEventListener("dblclick", (event) => {
        const row = event.target.closest(".row");
        if (row)
            tell("pick", row);
    });

    return Object.freeze({ setEntries: setEntries, show: show, select: select, setPalette: setPalette });
})();
