// The editor with one very long line, as after pasting a large text without
// line breaks: the CPU it uses while it sits idle with the focus (the caret
// blinking), and how long a key takes until the editor has painted it.
//   long_line_bench [line length in characters, default 10 MiB]

#include "PaintProbe.h"
#include "controls/TMemo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double processCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const qsizetype length = argc > 1 ? QByteArray(argv[1]).toLongLong() : 10 * 1024 * 1024;

    TMemo memo(nullptr);
    memo.SetScrollBars(TMemo::ssBoth);
    memo.resize(427, 121);
    memo.show();
    QElapsedTimer clock;
    clock.start();
    memo.SetText(QString(length, u'x'));
    memo.setFocus();
    memo.activateWindow();
    PaintProbe probe(clock);
    probe.watch(memo.viewport());
    probe.settle(500, 60000);
    std::printf("line of %lld characters: set and first shown in %lld ms\n", qlonglong(length),
        qlonglong(clock.elapsed()));

    // Three windows of five seconds: the last shows the state the editor
    // settles in.
    for (int window = 1; window <= 3; ++window) {
        const double cpuBefore = processCpuSeconds();
        QElapsedTimer idle;
        idle.start();
        runFor(5000);
        const double cpuShare = (processCpuSeconds() - cpuBefore) / (double(idle.elapsed()) / 1000.0);
        std::printf("idle with the focus, seconds %d-%d: %.1f%% of one core (caret %s)\n", window * 5 - 5,
            window * 5, cpuShare * 100.0, memo.IsCaretBlinking() ? "blinking" : "steady");
    }

    std::vector<double> latencies;
    std::vector<double> handling;
    for (int i = 0; i < 15; ++i) {
        const qint64 pressed = clock.nsecsElapsed();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(&memo, &press);
        QApplication::sendEvent(&memo, &release);
        handling.push_back(double(clock.nsecsElapsed() - pressed) / 1e6);
        const qint64 painted = probe.waitForPaintSince(pressed, 10000);
        latencies.push_back(double(painted - pressed) / 1e6);
        runFor(100);
    }
    std::sort(latencies.begin(), latencies.end());
    std::sort(handling.begin(), handling.end());
    std::printf("handling the key (edit and layout, before painting): median %.1f ms\n", handling[handling.size() / 2]);
    std::printf("key to paint: median %.1f ms, worst %.1f ms (15 keys)\n", latencies[latencies.size() / 2],
        latencies.back());

    // What an edit costs the toolkit at least: a line is laid out as a whole,
    // and every edit of it lays it out again.
    QTextLayout layout(memo.document()->firstBlock().text(), memo.font());
    QElapsedTimer laying;
    laying.start();
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    std::printf("laying the line out once: %lld ms\n", qlonglong(laying.elapsed()));
    return 0;
}
