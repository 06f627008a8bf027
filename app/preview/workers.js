"use strict";

// The preview's typesetting workers (typeset.js): formulas are typeset away
// from the page's own thread, so a formula that takes long holds neither the
// page nor the formulas after it. typesetWorkers.submit(job) queues a job:
// { holder, source, display, output ("html" for a drawing, "mathml" for a
// copy for screen readers), chain, isDefinition, isFileCheck, done(answer),
// slow() } (typeset.js tells what they are). Drawings go
// before copies; a job whose holder is marked isGone is dropped.
(function () {
    // A formula that takes longer than this to typeset is set aside and
    // shown as an error. The slowest formula a person plausibly writes (a
    // matrix of a few thousand entries, tens of kilobytes of TeX) takes about
    // a second and a half here, so this leaves room for a slower machine, and
    // a runaway formula (an expansion that never ends in time) shows its
    // error within seconds. Other formulas never wait for it. The budget is
    // wall time, which a loaded machine stretches: a formula over it is tried
    // again with RetryFactor times the time once the page is otherwise idle,
    // up to LastBudgetMs, so only a formula that never ends stays an error.
    // A page may be given a shorter first budget (tests do) as
    // window.typesetBudgetMs before this script runs; the last stays.
    const BudgetMs = window.typesetBudgetMs > 0 ? window.typesetBudgetMs : 5000;
    const RetryFactor = 4;
    const LastBudgetMs = 80000;
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
    // it had not started go to another. Formulas tried again wait for a
    // page with nothing else to do.
    const waitingFormulas = [];
    const waitingCopies = [];
    const waitingRetries = [];
    const workers = [];
    let nextJobId = 1;
    // Formulas the page waits for, those it no longer shows included until
    // their worker has let go of them.
    let unsettledFormulas = 0;
    // The typesetter's script failed to load: every formula shows why until
    // a refresh at least a pause later tries a new worker.
    let typesetterError = null;
    let failedAt = 0;
    const LoadAgainPauseMs = 1000;
    // How long a new worker may take to load the typesetter: one not ready
    // by then (stuck at its start, or on a loaded machine) is ended and
    // another started with twice the time, up to the last budget.
    let readyBudgetMs = BudgetMs;

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
        if (typesetterError !== null && workers.length === 0 && performance.now() - failedAt >= LoadAgainPauseMs)
            typesetterError = null;
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
        if (job.output === "html" && !job.isRetry) {
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
            takeWanted(waitingRetries, Infinity);
            return;
        }
        for (const worker of workers.slice()) {
            if (worker.isSlow && worker.jobs.length > 0 && !isWanted(worker.jobs[0]))
                end(worker);
        }
        for (;;) {
            const queue = waitingFormulas.length > 0 ? waitingFormulas : areCopiesHeld ? [] : waitingCopies;
            if (queue.length === 0) {
                startRetry();
                return;
            }
            const worker = workers.find((w) => !w.isSlow && w.jobs.length === 0) || addWorker(false);
            if (worker === null) {
                if (typesetterError !== null)
                    pump();
                return;
            }
            const batch = takeWanted(queue, queue === waitingFormulas ? Infinity : CopyBatchSize);
            if (batch.length === 0)
                continue;
            assign(worker, batch);
        }
    }

    function assign(worker, batch) {
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

    // A formula over its budget is tried again alone, in a worker of its
    // own, once no formula or copy waits and no other one is tried.
    function startRetry() {
        if (waitingRetries.length === 0 || areCopiesHeld || waitingCopies.length > 0 || unsettledFormulas > 0
            || workers.some((w) => w.isRetrying))
            return;
        const batch = takeWanted(waitingRetries, 1);
        if (batch.length === 0)
            return;
        const worker = addWorker(true);
        if (worker === null) {
            waitingRetries.unshift(batch[0]);
            return;
        }
        worker.isSlow = true;
        worker.isRetrying = true;
        assign(worker, batch);
    }

    function budgetOf(job) {
        return job.budgetMs !== undefined ? job.budgetMs : BudgetMs;
    }

    // The version of the macros file a job's definitions start with, if any.
    function fileOf(job) {
        return job.chain.length > 0 ? job.chain[0].file : undefined;
    }

    function addWorker(isForRetry) {
        if (workers.length >= MaxWorkers || (!isForRetry && workers.some((w) => !w.isSlow)))
            return null;
        let thread = null;
        try {
            thread = new Worker("typeset.js");
        } catch (error) {
            typesetterError = { isTeX: true, message: "The typesetter could not be started." };
            failedAt = performance.now();
            return null;
        }
        const worker = { thread: thread, jobs: [], isReady: false, isSlow: false, isRetrying: false,
            createdAt: performance.now(), readyBudgetMs: readyBudgetMs, startedAt: performance.now(),
            timer: 0, fileVersion: undefined, isMakingFile: false };
        worker.thread.onmessage = (event) => hear(worker, event.data);
        worker.thread.onerror = (event) => {
            event.preventDefault();
            // A worker ended while it loaded may still say it failed.
            if (!worker.isReady && workers.includes(worker))
                failTypesetter(worker);
        };
        workers.push(worker);
        return worker;
    }

    // Without the typesetter every formula shows why.
    function failTypesetter(worker) {
        typesetterError = { isTeX: true, message: "The typesetter could not be loaded." };
        failedAt = performance.now();
        end(worker);
        onSettled();
    }

    // A worker that has not loaded the typesetter in its time is ended, its
    // jobs handed on, and another one started with more time.
    function startAgain(worker) {
        readyBudgetMs = Math.min(2 * worker.readyBudgetMs, LastBudgetMs);
        end(worker);
        pump();
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
        if (!worker.isReady) {
            worker.timer = setTimeout(() => startAgain(worker),
                Math.max(worker.readyBudgetMs - (performance.now() - worker.createdAt), 0));
            return;
        }
        if (worker.jobs.length === 0)
            return;
        const elapsed = performance.now() - worker.startedAt;
        worker.timer = setTimeout(() => {
            if (worker.isSlow || worker.isMakingFile)
                giveUp(worker);
            else
                makeSlow(worker);
        }, Math.max((worker.isSlow || worker.isMakingFile ? budgetOf(worker.jobs[0]) : SlowMs) - elapsed, 0));
    }

    // The formula over its budget shows as an error, and is tried again
    // with more time while that stays under the last budget.
    function giveUp(worker) {
        const job = worker.jobs[0];
        const budget = budgetOf(job);
        const isTriedAgain = budget < LastBudgetMs && job.output === "html" && !job.isFileCheck;
        finish(job, { error: { isTimeout: true, budgetMs: budget, isTriedAgain: isTriedAgain } });
        if (isTriedAgain) {
            waitingRetries.push(Object.assign({}, job, { id: nextJobId++, worker: null, isDone: false, isRetry: true,
                budgetMs: Math.min(budget * RetryFactor, LastBudgetMs), slow: undefined }));
        }
        end(worker);
        pump();
        onSettled();
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
            (job.isRetry ? waitingRetries : job.output === "html" ? waitingFormulas : waitingCopies).unshift(job);
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
    addWorker(false);
})();
