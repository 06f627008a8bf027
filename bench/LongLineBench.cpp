// The editor with one very long line, as after pasting a large text without
// line breaks: the CPU it uses while it sits idle with the focus (the caret
// blinking), how long a key takes until the editor has painted it, and the
// memory it holds for the line. The keys alternate with keys in a bare
// editor widget holding the same line, the yardstick, so both see the same
// load.
//   long_line_bench [line length in characters, default 10 MiB] [keys, default 15]

#include "PaintProbe.h"
#include "app/typing/TexEditor.h"
#include "controls/TMemo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
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

// The resident memory of this process, from the kernel's status line.
qint64 residentMiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLongLong() / 1024;
    }
    return -1;
}

// One editor under measurement: the time from a key to its paint, and the
// time the key's handling takes before anything is painted.
struct Subject {
    const char* name;
    QAbstractScrollArea* editor;
    PaintProbe* probe;
    std::vector<double> latencies;
    std::vector<double> handling;
};

void pressKey(Subject& subject, const QElapsedTimer& clock)
{
    const qint64 pressed = clock.nsecsElapsed();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(subject.editor, &press);
    QApplication::sendEvent(subject.editor, &release);
    subject.handling.push_back(double(clock.nsecsElapsed() - pressed) / 1e6);
    const qint64 painted = subject.probe->waitForPaintSince(pressed, 60000);
    subject.latencies.push_back(double(painted - pressed) / 1e6);
}

double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(double(values.size()) * share))];
}

void printFigures(const Subject& subject)
{
    std::printf("%-12s key to paint: median %.1f ms, p95 %.1f ms; handling the key (before painting): median %.1f ms\n",
        subject.name, percentile(subject.latencies, 0.5), percentile(subject.latencies, 0.95),
        percentile(subject.handling, 0.5));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const qsizetype length = argc > 1 ? QByteArray(argv[1]).toLongLong() : 10 * 1024 * 1024;
    const int keys = argc > 2 ? QByteArray(argv[2]).toInt() : 15;
    // "tex": the line is TeX prose with formulas instead of one letter.
    const bool isTex = argc > 3 && QByteArray(argv[3]) == "tex";
    QString line(length, u'x');
    if (isTex) {
        const QString sentence = QStringLiteral("For $n \\ge 1$ the sum $\\sum_{k=1}^{n} k = \\frac{n(n+1)}{2}$ holds. ");
        for (qsizetype i = 0; i < length; ++i)
            line[i] = sentence[i % sentence.size()];
    }

    const qint64 residentBefore = residentMiB("VmRSS:");
    TMemo memo(nullptr);
    memo.SetScrollBars(TMemo::ssBoth);
    memo.resize(427, 121);
    memo.show();
    QElapsedTimer clock;
    clock.start();
    memo.SetText(line);
    memo.setFocus();
    memo.activateWindow();
    PaintProbe probe(clock);
    probe.watch(memo.viewport());
    // The first paint after the text came; the caret's blink paints later on
    // its own, so waiting for quiet would measure the blink.
    const qint64 shown = probe.waitForPaintSince(0, 120000);
    std::printf("line of %lld characters: set and first shown in %lld ms, %lld MiB more resident (peak %lld MiB)\n",
        qlonglong(length), qlonglong(shown / 1000000), qlonglong(residentMiB("VmRSS:") - residentBefore),
        qlonglong(residentMiB("VmHWM:")));

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

    QPlainTextEdit bare;
    bare.setLineWrapMode(QPlainTextEdit::NoWrap);
    bare.resize(memo.size());
    bare.move(memo.pos() + QPoint(0, memo.height() + 40));
    bare.show();
    bare.setPlainText(line);
    PaintProbe bareProbe(clock);
    bareProbe.watch(bare.viewport());
    bareProbe.settle(500, 120000);

    // The same editor knowing TeX: its text coloured, pairs marked.
    TMemo coloured(nullptr);
    coloured.SetScrollBars(TMemo::ssBoth);
    coloured.resize(memo.size());
    coloured.move(bare.pos() + QPoint(0, bare.height() + 40));
    new TexEditor(&coloured);
    coloured.show();
    coloured.SetText(line);
    PaintProbe colouredProbe(clock);
    colouredProbe.watch(coloured.viewport());
    colouredProbe.settle(500, 120000);

    Subject subjects[] = { { "editor", &memo, &probe, {}, {} }, { "bare widget", &bare, &bareProbe, {}, {} },
        { "TeX colours", &coloured, &colouredProbe, {}, {} } };
    for (int i = 0; i < keys; ++i) {
        for (Subject& subject : subjects) {
            subject.editor->setFocus();
            pressKey(subject, clock);
            runFor(100);
        }
    }
    std::printf("%d keys each, alternating:\n", keys);
    for (const Subject& subject : subjects)
        printFigures(subject);

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
