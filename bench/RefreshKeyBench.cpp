// Keys typed while a 10 MB text is refreshed. A thread of the benchmark's own
// posts keys to the main window's editor, one after another at the pace of a
// quick typist, while a refresh runs and until the preview shows it; for each
// key, the milliseconds from its arrival to the editor's first paint after
// handling it. The refresh is made in turns, in the same run:
//   yardstick   no refresh at all: the same keys into the same editor;
//   in place    the preview file written, read back and compared on the
//               interface thread (what the refresh did before it handed long
//               texts to a worker);
//   refresh     the main window's own refresh.
//   refresh_key_bench [rounds, default 8] [keys per round, default 12]

#include "EventWait.h"
#include "PaintProbe.h"
#include "SampleStatistics.h"
#include "application/TApplication.h"
#include "app/TKelvaneMainForm.h"
#include "controls/TMemo.h"
#include "controls/TMemoStrings.h"
#include "app/preview/TWebBrowser.h"

#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTextCursor>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include <time.h>

namespace {

using SampleStatistics::percentile;

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

enum class Mode { Yardstick, InPlace, Refresh };

double threadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

constexpr int MaxKeys = 64;

// Posts keys from its own thread and notes when each arrived; the next one
// comes 10 to 40 ms after the editor painted the one before.
class KeyPoster : public QObject {
public:
    // Keys go to the editor; what it draws shows on the surface.
    KeyPoster(QWidget* editor, QWidget* surface, const QElapsedTimer& clock)
        : m_editor(editor)
        , m_clock(clock)
        , m_probe(clock)
    {
        m_probe.watch(surface);
        editor->installEventFilter(this);
    }

    // Starts the work, types the keys meanwhile, then waits until the work
    // is done; the milliseconds from each key's arrival to its paint.
    QList<double> type(int keys, const std::function<void()>& start, const std::function<bool()>& done)
    {
        m_probe.settle(100, 3000);
        for (int k = 0; k < keys; ++k) {
            m_posted[k] = -1;
            m_handled[k] = -1;
        }
        std::atomic<int> painted = 0;
        std::atomic<bool> isStopped = false;
        std::thread poster([&] {
            std::mt19937 random(42);
            for (int k = 0; k < keys && !isStopped; ++k) {
                m_current = k;
                m_posted[k] = m_clock.nsecsElapsed();
                QCoreApplication::postEvent(m_editor, new QKeyEvent(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, QStringLiteral("1")));
                QCoreApplication::postEvent(m_editor, new QKeyEvent(QEvent::KeyRelease, Qt::Key_1, Qt::NoModifier, QStringLiteral("1")));
                while (painted <= k && !isStopped)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                std::this_thread::sleep_for(std::chrono::milliseconds(10 + int(random() % 31)));
            }
        });
        start();
        QList<double> latencies;
        EventWait::until([&] {
            for (int k = int(latencies.size()); k < keys && m_handled[k] >= 0; ++k) {
                const qint64 paint = m_probe.firstPaintSince(m_handled[k]);
                if (paint < 0)
                    break;
                latencies.append(double(paint - m_posted[k]) / 1e6);
                painted = k + 1;
            }
            return latencies.size() == keys;
        }, 120000);
        isStopped = true;
        poster.join();
        EventWait::until(done, 120000);
        return latencies;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_editor && event->type() == QEvent::KeyPress && m_current >= 0 && m_handled[m_current] < 0)
            m_handled[m_current] = m_clock.nsecsElapsed();
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_editor;
    const QElapsedTimer& m_clock;
    PaintProbe m_probe;
    std::array<std::atomic<qint64>, MaxKeys> m_posted {};
    std::array<std::atomic<qint64>, MaxKeys> m_handled {};
    std::atomic<int> m_current = -1;
};

QString figures(const QList<double>& values)
{
    return QStringLiteral("%1 %2 %3 %4")
        .arg(values.size(), 6)
        .arg(percentile(values, 0.5), 9, 'f', 2)
        .arg(percentile(values, 0.99), 9, 'f', 2)
        .arg(values.isEmpty() ? 0.0 : *std::max_element(values.begin(), values.end()), 9, 'f', 2);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TWebBrowser::PrepareEngine();
    TApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(QString::fromLocal8Bit(argv[1]).toInt(), 1) : 8;
    const int keys = argc > 2 ? std::clamp(QString::fromLocal8Bit(argv[2]).toInt(), 1, MaxKeys) : 12;
    static QTemporaryDir dir;
    Application->SetExeName(dir.path() + QStringLiteral("/tamsel"));
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));
    Application->CreateForm(KelvaneMainForm);
    TKelvaneMainForm* form = KelvaneMainForm;
    form->show();
    form->ManuallyOnly1Click(form);
    std::printf("load before: %s\n", qPrintable(loadAverage()));

    // About 10 MB of formulas, a line each.
    const QString line = QStringLiteral("$$\\frac{a_{%1}}{b} + \\sqrt{x} = y^2 \\cdot z_{n}$$\n");
    QString text;
    text.reserve(10 * 1024 * 1024 + 100);
    for (int i = 0; text.size() < 10 * 1024 * 1024; ++i)
        text += line.arg(i);
    TMemo* memo = form->Memo1;
    memo->SetText(text);
    memo->setFocus();
    memo->setTextCursor(QTextCursor(memo->document()));
    std::printf("text: %lld characters\n", qlonglong(text.size()));

    int renders = 0;
    QObject::connect(form->WebBrowser1, &TWebBrowser::rendered, [&] { ++renders; });
    const QString path = form->PreviewFileName();
    QElapsedTimer clock;
    clock.start();
    KeyPoster poster(memo, memo->viewport(), clock);
    const char* names[] = { "yardstick (no refresh)", "in place (before)", "refresh (after)" };
    QList<double> results[3];
    // The call that starts a refresh: its time, and the processor time the
    // interface thread spent in it (on a loaded machine the thread also
    // waits for a core).
    QList<double> startMs[3];
    QList<double> startCpuMs[3];
    // The first round warms up and is not recorded.
    for (int round = 0; round <= rounds; ++round) {
        for (int turn = 0; turn < 3; ++turn) {
            const auto mode = Mode((turn + round) % 3);
            const int rendersBefore = renders;
            const auto start = [&] {
                QElapsedTimer call;
                call.start();
                const double cpuBefore = threadCpuMs();
                if (mode == Mode::InPlace) {
                    memo->Lines()->SaveToFile(path);
                    form->WebBrowser1->Navigate(path);
                } else if (mode == Mode::Refresh) {
                    form->Now1Click(form);
                }
                if (round > 0) {
                    startMs[int(mode)].append(double(call.nsecsElapsed()) / 1e6);
                    startCpuMs[int(mode)].append(threadCpuMs() - cpuBefore);
                }
            };
            const auto done = [&] { return mode == Mode::Yardstick || renders > rendersBefore; };
            const QList<double> latencies = poster.type(keys, start, done);
            if (round > 0)
                results[int(mode)].append(latencies);
        }
    }
    std::printf("load after: %s\n", qPrintable(loadAverage()));
    std::printf("%-24s %6s %9s %9s %9s   (key to paint, ms)\n", "", "keys", "p50", "p99", "max");
    for (int mode = 0; mode < 3; ++mode)
        std::printf("%-24s %s\n", names[mode], qPrintable(figures(results[mode])));
    std::printf("%-24s %6s %9s %9s %9s   (the call starting a refresh, ms)\n", "", "calls", "p50", "p99", "max");
    for (int mode = 1; mode < 3; ++mode) {
        std::printf("%-24s %s\n", names[mode], qPrintable(figures(startMs[mode])));
        std::printf("%-24s %s\n", "  processor time", qPrintable(figures(startCpuMs[mode])));
    }
    return 0;
}
