// Latency, start-up and memory figures of the preview pane.
//
// Run under a display (scripts/bench.sh uses xvfb-run). Without arguments it
// measures, in one process with the real main window:
//   now1click  Now1Click (timer off, file written, file read, page updated)
//   pane       the pane alone: the file written, then Navigate
//   bare       the same text given straight to the loaded page (runJavaScript)
// each to the "rendered" report and to the view's next paint; then it starts
// itself again to time the first preview after process start and to compare
// the memory of the process tree with that of a bare web view.

#include "BenchCorpus.h"
#include "PaintProbe.h"
#include "PreviewSource.h"
#include "ProcessMemory.h"
#include "TApplication.h"
#include "TKelvaneMainForm.h"
#include "TMemo.h"
#include "TWebBrowser.h"

#include <QClipboard>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>

namespace {

const QString FirstFormula = QStringLiteral("\\int_0^1 x^2\\,dx = \\frac{1}{3}");

qint64 monotonicNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    // Nearest rank.
    const qsizetype rank = std::clamp<qsizetype>(qsizetype(std::ceil(p * double(values.size()))), 1, values.size());
    return values.at(rank - 1);
}

double median(const QList<double>& values)
{
    if (values.isEmpty())
        return 0;
    QList<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const qsizetype n = sorted.size();
    return n % 2 ? sorted.at(n / 2) : (sorted.at(n / 2 - 1) + sorted.at(n / 2)) / 2;
}

// Runs the event loop until the condition holds; false after the timeout.
bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

struct Series {
    QList<double> toRendered;
    QList<double> toPaint;
    QList<double> typeset;
    QList<double> call;
    int missingPaints = 0;
};

class LatencyRun {
public:
    LatencyRun(TKelvaneMainForm* form, QString panePath)
        : m_form(form)
        , m_browser(form->WebBrowser1)
        , m_panePath(std::move(panePath))
        , m_probe(m_clock)
    {
        m_clock.start();
        QObject::connect(m_browser, &TWebBrowser::rendered, [this](double typesetMs) {
            m_renderedAt = m_clock.nsecsElapsed();
            m_typesetMs = typesetMs;
        });
    }

    bool start()
    {
        if (!waitFor([this] { return m_browser->isPageReady() && m_browser->view()->focusProxy(); }, 20000))
            return false;
        m_probe.watch(m_browser->view()->focusProxy());
        return true;
    }

    // One refresh through the given path; the sample lands in the series.
    void step(const QString& series, const QString& sizeClass, const QString& text, bool record)
    {
        m_probe.settle(30, 1000);
        Series& s = m_results[sizeClass][series];
        m_renderedAt = -1;
        qint64 renderedAt = -1;
        double typesetMs = 0;
        const qint64 start = m_clock.nsecsElapsed();
        if (series == QLatin1String("now1click")) {
            m_form->Now1Click(m_form);
        } else if (series == QLatin1String("pane")) {
            QFile file(m_panePath);
            file.open(QIODevice::WriteOnly | QIODevice::Truncate);
            file.write(text.toUtf8());
            file.close();
            m_browser->Navigate(m_panePath);
        } else {
            m_browser->page()->runJavaScript(m_bareScript, [this, &renderedAt, &typesetMs](const QVariant& value) {
                renderedAt = m_clock.nsecsElapsed();
                typesetMs = value.toDouble();
            });
        }
        const qint64 returned = m_clock.nsecsElapsed();
        const bool isBare = series == QLatin1String("bare");
        if (!waitFor([&] { return isBare ? renderedAt >= 0 : m_renderedAt >= 0; }, 30000)) {
            std::fprintf(stderr, "no render for %s\n", qPrintable(series));
            return;
        }
        if (!isBare) {
            renderedAt = m_renderedAt;
            typesetMs = m_typesetMs;
        }
        const qint64 paintAt = m_probe.waitForPaintSince(start, 2000);
        if (!record)
            return;
        s.call.append(ms(returned - start));
        s.toRendered.append(ms(renderedAt - start));
        s.typeset.append(typesetMs);
        if (paintAt >= 0)
            s.toPaint.append(ms(std::max(paintAt, renderedAt) - start));
        else
            ++s.missingPaints;
    }

    void measure(const BenchCorpus::Entry& entry, int iterations, int warmup)
    {
        const QString texts[2] = { entry.text, entry.variant };
        QString bareScripts[2];
        for (int v = 0; v < 2; ++v) {
            PreviewSource source;
            source.text = texts[v];
            bareScripts[v] = source.script();
        }
        // The three paths take turns in rotating order, so none of them always
        // follows the same one; every step shows the other version than the
        // step before it, so every step has something new to paint.
        static const char* const orders[3][3] = {
            { "now1click", "pane", "bare" },
            { "pane", "bare", "now1click" },
            { "bare", "now1click", "pane" },
        };
        for (int i = 0; i < warmup + iterations; ++i) {
            const bool record = i >= warmup;
            for (const char* name : orders[i % 3]) {
                const QString series = QLatin1String(name);
                const int version = int(m_steps++ % 2);
                if (series == QLatin1String("now1click"))
                    m_form->Memo1->SetText(texts[version]);
                else if (series == QLatin1String("bare"))
                    m_bareScript = bareScripts[version];
                step(series, entry.sizeClass, texts[version], record);
            }
        }
    }

    void report() const
    {
        std::printf("\n%-8s %-10s %4s | %-17s | %-17s | %-10s | %s\n", "class", "path", "n", "to rendered ms",
            "to paint ms", "typeset ms", "call ms");
        std::printf("%-8s %-10s %4s | %8s %8s | %8s %8s | %10s | %8s\n", "", "", "", "median", "p95", "median", "p95",
            "median", "median");
        for (const QString& sizeClass : BenchCorpus::sizeClasses()) {
            for (const char* name : { "now1click", "pane", "bare" }) {
                const Series& s = m_results.value(sizeClass).value(QLatin1String(name));
                std::printf("%-8s %-10s %4lld | %8.2f %8.2f | %8.2f %8.2f | %10.2f | %8.3f%s\n",
                    qPrintable(sizeClass), name, qlonglong(s.toRendered.size()), median(s.toRendered),
                    percentile(s.toRendered, 0.95), median(s.toPaint), percentile(s.toPaint, 0.95), median(s.typeset),
                    median(s.call),
                    s.missingPaints ? qPrintable(QStringLiteral("  (%1 without paint)").arg(s.missingPaints)) : "");
            }
        }
        std::printf("\npipeline (now1click) against bare, medians:\n");
        std::printf("%-8s | %-22s | %-22s\n", "class", "to rendered: +ms ratio", "to paint: +ms ratio");
        for (const QString& sizeClass : BenchCorpus::sizeClasses()) {
            const Series& p = m_results.value(sizeClass).value(QStringLiteral("now1click"));
            const Series& b = m_results.value(sizeClass).value(QStringLiteral("bare"));
            const double pr = median(p.toRendered), br = median(b.toRendered);
            const double pp = median(p.toPaint), bp = median(b.toPaint);
            std::printf("%-8s | %+8.2f   x%-10.2f | %+8.2f   x%-10.2f\n", qPrintable(sizeClass), pr - br,
                br > 0 ? pr / br : 0, pp - bp, bp > 0 ? pp / bp : 0);
        }
    }

private:
    TKelvaneMainForm* m_form;
    TWebBrowser* m_browser;
    QString m_panePath;
    QElapsedTimer m_clock;
    PaintProbe m_probe;
    QString m_bareScript;
    qint64 m_renderedAt = -1;
    double m_typesetMs = 0;
    qint64 m_steps = 0;
    QMap<QString, QMap<QString, Series>> m_results;
};

// Starts the main window as the program does, with the preview file in dir.
TKelvaneMainForm* startMainWindow(const QString& dir, const QString& clipboardText)
{
    Application->SetExeName(dir + QStringLiteral("/tamsel"));
    Application->SetTitle(QStringLiteral("Tamsel"));
    QGuiApplication::clipboard()->setText(clipboardText);
    Application->CreateForm(KelvaneMainForm);
    KelvaneMainForm->show();
    return KelvaneMainForm;
}

int runLatency(int iterations)
{
    QTemporaryDir dir;
    TKelvaneMainForm* form = startMainWindow(dir.path(), FirstFormula);
    LatencyRun run(form, dir.filePath(QStringLiteral("pane.tex")));
    if (!run.start()) {
        std::fprintf(stderr, "the preview page did not load\n");
        return 1;
    }
    for (const BenchCorpus::Entry& entry : BenchCorpus::entries()) {
        const int n = entry.sizeClass == QLatin1String("large") ? std::max(iterations / 3, 5) : iterations;
        run.measure(entry, n, 3);
        std::fprintf(stderr, "measured %s\n", qPrintable(entry.name));
    }
    run.report();
    return 0;
}

// Child: the program's start with a formula on the clipboard; prints the
// monotonic time of the view's first paint after the first render.
int runFirstPaint()
{
    QTemporaryDir dir;
    QElapsedTimer clock;
    clock.start();
    PaintProbe probe(clock);
    qint64 renderedAt = -1;
    // The first render needs the page, which loads only once the event loop
    // runs, so connecting after the window exists misses nothing.
    TKelvaneMainForm* form = startMainWindow(dir.path(), FirstFormula);
    QObject::connect(form->WebBrowser1, &TWebBrowser::rendered, [&](double) {
        if (renderedAt < 0) {
            renderedAt = clock.nsecsElapsed();
            probe.watch(form->WebBrowser1->view()->focusProxy());
        }
    });
    if (!waitFor([&] { return renderedAt >= 0; }, 30000))
        return 1;
    if (probe.waitForPaintSince(renderedAt, 5000) < 0)
        return 1;
    std::printf("%lld\n", qlonglong(monotonicNs()));
    return 0;
}

// Child: a process showing a typical formula, then reporting its tree's memory.
int runMemory(const QString& kind)
{
    QTemporaryDir dir;
    bool isShown = false;
    std::unique_ptr<QWebEngineView> bareView;
    if (kind == QLatin1String("pane")) {
        TKelvaneMainForm* form = startMainWindow(dir.path(), QStringLiteral("x = \\frac{-b \\pm \\sqrt{b^2-4ac}}{2a}"));
        QObject::connect(form->WebBrowser1, &TWebBrowser::rendered, [&](double) { isShown = true; });
    } else {
        bareView = std::make_unique<QWebEngineView>();
        bareView->resize(600, 400);
        QObject::connect(bareView.get(), &QWebEngineView::loadFinished, [&](bool) { isShown = true; });
        if (kind == QLatin1String("bare-katex")) {
            // The same typesetter in a bare view, loaded straight from disk.
            bareView->setHtml(QStringLiteral(
                "<!DOCTYPE html><link rel=stylesheet href=katex.min.css><script src=katex.min.js></script>"
                "<body><div id=f></div><script>katex.render('x = \\\\frac{-b \\\\pm \\\\sqrt{b^2-4ac}}{2a}', "
                "document.getElementById('f'), {displayMode: true})</script>"),
                QUrl(QStringLiteral("file:///usr/share/javascript/katex/")));
        } else {
            bareView->setHtml(QStringLiteral("<!DOCTYPE html><p>x</p>"));
        }
        bareView->show();
    }
    if (!waitFor([&] { return isShown; }, 30000))
        return 1;
    // Let the engine's processes finish starting and settle.
    QEventLoop pause;
    QTimer::singleShot(2000, &pause, &QEventLoop::quit);
    pause.exec();
    const qint64 self = QCoreApplication::applicationPid();
    std::printf("%lld %d\n", qlonglong(ProcessMemory::treePssKiB(self)), ProcessMemory::treeProcessCount(self));
    return 0;
}

std::optional<QString> runChild(const QStringList& arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(60000) || child.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(child.readAllStandardOutput()).trimmed();
}

void reportFirstPaint(int runs)
{
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const qint64 started = monotonicNs();
        child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--first-paint") });
        if (!child.waitForFinished(60000) || child.exitCode() != 0) {
            std::fprintf(stderr, "first-paint run failed\n");
            continue;
        }
        const qint64 paintedAt = QString::fromUtf8(child.readAllStandardOutput()).trimmed().toLongLong();
        times.append(ms(paintedAt - started));
    }
    std::printf("\nfirst preview painted after process start (%lld runs): median %.0f ms, max %.0f ms\n",
        qlonglong(times.size()), median(times), times.isEmpty() ? 0.0 : *std::max_element(times.begin(), times.end()));
}

void reportMemory(int runs)
{
    std::printf("\nmemory of the process tree (PSS, median of %d runs):\n", runs);
    QMap<QString, double> medians;
    for (const char* kind : { "pane", "bare", "bare-katex" }) {
        QList<double> values;
        int processes = 0;
        for (int i = 0; i < runs; ++i) {
            const auto out = runChild({ QStringLiteral("--memory"), QLatin1String(kind) });
            if (!out)
                continue;
            const QStringList parts = out->split(QLatin1Char(' '));
            values.append(parts.value(0).toDouble() / 1024.0);
            processes = parts.value(1).toInt();
        }
        medians[QLatin1String(kind)] = median(values);
        std::printf("  %-11s %7.1f MiB in %d processes\n", kind, median(values), processes);
    }
    for (const char* base : { "bare", "bare-katex" }) {
        const double b = medians.value(QLatin1String(base));
        if (b > 0)
            std::printf("  main window with pane / %-10s = %.3f\n", base, medians.value(QStringLiteral("pane")) / b);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TWebBrowser::PrepareEngine();
    TApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QCommandLineParser parser;
    parser.addOption({ QStringLiteral("first-paint"), QStringLiteral("Child: time the first preview.") });
    parser.addOption({ QStringLiteral("memory"), QStringLiteral("Child: report memory."), QStringLiteral("kind") });
    parser.addOption({ QStringLiteral("iterations"), QStringLiteral("Samples per formula."), QStringLiteral("n"),
        QStringLiteral("30") });
    parser.addOption({ QStringLiteral("runs"), QStringLiteral("Start-up and memory runs."), QStringLiteral("n"),
        QStringLiteral("5") });
    parser.process(application);

    try {
        if (parser.isSet(QStringLiteral("first-paint")))
            return runFirstPaint();
        if (parser.isSet(QStringLiteral("memory")))
            return runMemory(parser.value(QStringLiteral("memory")));

        const int status = runLatency(parser.value(QStringLiteral("iterations")).toInt());
        const int runs = parser.value(QStringLiteral("runs")).toInt();
        reportFirstPaint(runs);
        reportMemory(std::max(runs / 2, 1));
        return status;
    } catch (...) {
        application.HandleException(&application);
        return 1;
    }
}
