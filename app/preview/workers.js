"use strict";

// The preview's typesetting workers (typeset.js): formulas are typeset away
// from the page's own thread, so a formula that takes long holds neither the
// page nor the formulas after it. typesetWorkers.submit(job) queues a job:
// { holder, source, display, output ("html" for a drawing, "mathml" for a
// copy for screen readers), chain, isDefinition, isFileCheck, done(answer),
// slow() } (typeset.js tells what they are). Drawings go
// before copies; a job whose holder is marked isGone is dropped.
(function () {
    // A formula that takes longer than this to typeset is given up and shown
    // as an error. The slowest formula a person plausibly writes (a matrix
    // of a few thousand entries, tens of kilobytes of TeX) takes about a
    // second and a half here, so this leaves room for a slower machine, and
    // a runaway formula (an expansion that never ends in time) shows its
    // error within seconds. Other formulas never wait for it.
    const BudgetMs = 5000;
    // A formula typesetting this long is left to its worker alone: the
    // formulas after it go to another one.
    const SlowMs = 100;
    // Workers at most, those still busy with slow formulas included.
    const MaxWorkers = 4;
    // Copies a worker gets at a time: one, so a formula of a refresh waits
    // for one copy at most (after the first show of a long text, thousands
    // of copies are still being made while the user edits). Formulas go all
    // at once: the worker typesets on while the page puts the drawings in.
    const CopyBatchSize = 1;

    // Formulas are typeset by workers (typeset.js), a job at a time each, in
    // the order given; a formula's drawing goes before any copy for screen
    // readers. A worker whose formula is over the budget is ended and
    // replaced; one whose formula is slow gets no more jobs, and the jobs
    // it had not started go to another.
    const waitingFormulas = [];
    const waitingCopies = [];
    const workers = [];
    let nextJobId = 1;
    // Formulas the page waits for, those it no longer shows included until
    // their worker has let go of them.
    let unsettledFormulas = 0;
    let typesetterError = null;

    // Copies wait until the frame after the last formula drawn has been
    // painted and the page has been still for a moment after it, so they
    // never compete with a refresh for the processor, nor with the next
    // refresh of someone typing: they are made in the typist's pauses.
    const CopyQuietMs = 250;
    let areCopiesHeld = false;
    let holds = 0;
    let isReleaseScheduled = false;

    function holdCopies() {
        areCopiesHeld = true;
        ++holds;
        if (!isReleaseScheduled)
            scheduleRelease();
    }

    function scheduleRelease() {
        isReleaseScheduled = true;
        const seen = holds;
        afterPaint(() => setTimeout(() => {
            isReleaseScheduled = false;
            if (holds !== seen) {
                scheduleRelease();
                return;
            }
            areCopiesHeld = false;
            pump();
        }, CopyQuietMs));
    }

    // Runs the callback a frame's time after the page's next frame began,
    // when that frame has been drawn, or after a short wait on a page out of
    // sight, which draws none.
    const FrameMs = 16;
    const HiddenPageWaitMs = 100;

    function afterPaint(callback) {
        let isDone = false;
        const run = () => {
            if (!isDone) {
                isDone = true;
                callback();
            }
        };
        requestAnimationFrame(() => setTimeout(run, FrameMs));
        setTimeout(run, HiddenPageWaitMs);
    }

    function submit(job) {
        job.id = nextJobId++;
        job.worker = null;
        job.isDone = false;
        if (job.output === "html") {
            ++unsettledFormulas;
            waitingFormulas.push(job);
            holdCopies();
        } else {
            waitingCopies.push(job);
        }
        pump();
    }

    function finish(job, answer) {
        if (job.isDone)
            return;
        job.isDone = true;
        job.worker = null;
        if (job.output === "html") {
            --unsettledFormulas;
            holdCopies();
        }
        job.done(answer);
    }

    // A job whose formula left the page is not typeset.
    function isWanted(job) {
        return !job.holder.isGone;
    }

    function takeWanted(queue, count) {
        const batch = [];
        while (queue.length > 0 && batch.length < count) {
            const job = queue.shift();
            if (typesetterError !== null)
                finish(job, { error: typesetterError });
            else if (isWanted(job))
                batch.push(job);
            else
                finish(job, { isDropped: true });
        }
        return batch;
    }

    function pump() {
        if (typesetterError !== null) {
            takeWanted(waitingFormulas, Infinity);
            takeWanted(waitingCopies, Infinity);
            return;
        }
        for (const worker of workers.slice()) {
            if (worker.isSlow && worker.jobs.length > 0 && !isWanted(worker.jobs[0]))
                end(worker);
        }
        for (;;) {
            const queue = waitingFormulas.length > 0 ? waitingFormulas : areCopiesHeld ? [] : waitingCopies;
            if (queue.length === 0)
                return;
            const worker = workers.find((w) => !w.isSlow && w.jobs.length === 0) || addWorker();
            if (worker === null) {
                if (typesetterError !== null)
                    pump();
                return;
            }
            const batch = takeWanted(queue, queue === waitingFormulas ? Infinity : CopyBatchSize);
            if (batch.length === 0)
                continue;
            for (const job of batch)
                job.worker = worker;
            worker.jobs.push(...batch);
            if (worker.jobs.length === batch.length)
                worker.startedAt = performance.now();
            worker.isMakingFile = worker.isMakingFile || batch.some((job) => fileOf(job) !== undefined && fileOf(job) !== worker.fileVersion);
            worker.thread.postMessage(batch.map((job) => ({ id: job.id, source: job.source, display: job.display,
                output: job.output, chain: job.chain, isDefinition: job.isDefinition, isFileCheck: job.isFileCheck })));
            watch(worker);
        }
    }

    // The version of the macros file a job's definitions start with, if any.
    function fileOf(job) {
        return job.chain.length > 0 ? job.chain[0].file : undefined;
    }

    function addWorker() {
        if (workers.length >= MaxWorkers || workers.some((w) => !w.isSlow))
            return null;
        let thread = null;
        try {
            thread = new Worker("typeset.js");
        } catch (error) {
            typesetterError = { isTeX: true, message: "The typesetter could not be started." };
            return null;
        }
        const worker = { thread: thread, jobs: [], isReady: false, isSlow: false, startedAt: performance.now(),
            timer: 0, fileVersion: undefined, isMakingFile: false };
        worker.thread.onmessage = (event) => hear(worker, event.data);
        worker.thread.onerror = (event) => {
            event.preventDefault();
            if (!worker.isReady)
                failTypesetter(worker);
        };
        workers.push(worker);
        return worker;
    }

    // Without the typesetter every formula shows why.
    function failTypesetter(worker) {
        typesetterError = { isTeX: true, message: "The typesetter could not be loaded." };
        end(worker);
        onSettled();
    }

    function hear(worker, answer) {
        // An answer may still come from a worker that has just been ended.
        if (!workers.includes(worker))
            return;
        // Every formula needs the macros file's definitions, so making them
        // is no formula's time: the formula's time starts after.
        if (answer.fileReady !== undefined) {
            worker.fileVersion = answer.fileReady;
            worker.isMakingFile = false;
        }
        if (answer.isReady || answer.fileReady !== undefined) {
            worker.isReady = true;
            worker.startedAt = performance.now();
            watch(worker);
            return;
        }
        const job = worker.jobs.shift();
        worker.startedAt = performance.now();
        if (job.worker === worker)
            finish(job, answer);
        // A slow worker is done once its slow formula is: the jobs after it
        // went to another one.
        if (worker.isSlow)
            end(worker);
        else
            watch(worker);
        pump();
        onSettled();
    }

    // Times the worker's current job: past SlowMs its worker takes no more,
    // past the budget the worker is ended and the formula given up. Making
    // the macros file's definitions has the budget alone, since another
    // worker would only have to make them too.
    function watch(worker) {
        clearTimeout(worker.timer);
        // A worker that cannot even load the typesetter in the budget never
        // will.
        if (!worker.isReady) {
            worker.timer = setTimeout(() => failTypesetter(worker),
                Math.max(BudgetMs - (performance.now() - worker.startedAt), 0));
            return;
        }
        if (worker.jobs.length === 0)
            return;
        const elapsed = performance.now() - worker.startedAt;
        worker.timer = setTimeout(() => {
            if (worker.isSlow || worker.isMakingFile) {
                finish(worker.jobs[0], { error: { isTimeout: true } });
                end(worker);
                pump();
                onSettled();
            } else {
                makeSlow(worker);
            }
        }, Math.max((worker.isSlow || worker.isMakingFile ? BudgetMs : SlowMs) - elapsed, 0));
    }

    function makeSlow(worker) {
        worker.isSlow = true;
        const current = worker.jobs[0];
        const rest = worker.jobs.slice(1).filter((job) => job.worker === worker);
        requeue(rest);
        if (current.slow !== undefined)
            current.slow();
        watch(worker);
        pump();
    }

    // Puts jobs back before the waiting ones, in their order.
    function requeue(jobs) {
        for (const job of jobs.reverse()) {
            job.worker = null;
            (job.output === "html" ? waitingFormulas : waitingCopies).unshift(job);
        }
    }

    function end(worker) {
        const index = workers.indexOf(worker);
        if (index < 0)
            return;
        clearTimeout(worker.timer);
        worker.thread.terminate();
        workers.splice(index, 1);
        const current = worker.jobs[0];
        requeue(worker.jobs.filter((job) => job.worker === worker && job !== current));
        if (current !== undefined && current.worker === worker) {
            if (isWanted(current) && typesetterError === null)
                requeue([current]);
            else
                finish(current, typesetterError !== null ? { error: typesetterError } : { isDropped: true });
        }
        worker.jobs = [];
        if (typesetterError !== null)
            pump();
    }

    let onSettled = () => {};

    Object.defineProperty(window, "typesetWorkers", {
        value: Object.freeze({
            budgetMs: BudgetMs,
            submit: submit,
            isSettled: () => unsettledFormulas === 0,
            whenSettled: (callback) => {
                onSettled = callback;
            },
            letGoOfGone: pump,
            afterPaint: afterPaint,
        }),
        writable: false,
        configurable: false,
    });

    // The first worker loads the typesetter while the page waits for its
    // first text.
    addWorker();
})();
