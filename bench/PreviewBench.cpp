// Latency, start-up and memory figures of the preview pane.
//
// Run under a display (scripts/bench.sh uses xvfb-run). It starts itself
// again for each measurement:
//   latency   the main window's refresh (Now1Click) to the pane's next paint,
//             side by side with bare pages of the typesetter in the same
//             process (a stock view, and one drawn as the pane is): single formulas, and documents of 1, 10 and 100 KB of
//             display formulas shown first, with one formula changed, with
//             nothing changed and with a formula inserted at the top (the
//             edits several times a round, against the same formula shown
//             alone; the bare pages take part in the first show). Runs
//             with and without the engine's 60 Hz frame limit take turns.
//             With --page-only the pane's page gets each change straight
//             from here, without the refresh saving and reading the file, and
//             every page marks, in the same task as its work, when its next
//             frame begins: only a paint after that counts, never one of an
//             earlier frame.
//   first     the first preview after process start
//   memory    the process tree's memory against a bare web view

#include "BenchCorpus.h"
#include "EventWait.h"
#include "app/preview/ImmediateFrames.h"
#include "PaintProbe.h"
#include "app/preview/PreviewSource.h"
#include "ProcessMemory.h"
#include "SampleStatistics.h"
#include "application/TApplication.h"
#include "app/TKelvaneMainForm.h"
#include "controls/TMemo.h"
#include "app/preview/TWebBrowser.h"

#include <QClipboard>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QProcessEnvironment>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

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

using SampleStatistics::median;
using SampleStatistics::percentile;

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

// A bare page of the same typesetter, loaded straight from its installed
// folder: every call typesets every formula of the text anew, as a page
// without any bookkeeping of its own would.
const char* const BarePageHtml = R"(<!DOCTYPE html><meta charset="utf-8">
<link rel="stylesheet" href="katex.min.css"><script src="katex.min.js"></script>
<style>body { margin: 0; padding: 6px 10px; font: 18px/1.45 KaTeX_Main, serif }</style>
<body><div id="c"></div><script>
function render(text) {
    const started = performance.now();
    const formulas = text.includes("$$") ? text.split("$$").filter((s, i) => i % 2 === 1) : [text];
    const holder = document.createElement("div");
    for (const formula of formulas) {
        const node = document.createElement("div");
        try { katex.render(formula, node, { displayMode: true }); } catch (e) {}
        holder.append(node);
    }
    document.getElementById("c").replaceChildren(holder);
    void document.body.offsetHeight;
    return performance.now() - started;
}
</script>)";

struct Sample {
    double toPaint = -1;
    double toRendered = 0;
    double renderer = 0;
    // The refresh's own work before the text leaves for the page: writing
    // and reading the file and packaging the text.
    double refresh = 0;
};

// The page's script, and in the same task a mark of when the page's next
// frame begins (a callback queued as a task of its own can run after that
// frame has begun, and then mark the one after it).
QString withFrameMark(const QString& script)
{
    return QStringLiteral("(function () { const result = %1; window.benchFrameDelay = undefined; "
                          "const at = performance.now(); "
                          "requestAnimationFrame(() => window.benchFrameDelay = performance.now() - at); "
                          "return result; })()")
        .arg(script);
}

// Milliseconds from the end of the page's work to its next frame, or -1.
double frameDelay(QWebEnginePage* page)
{
    for (int tries = 0; tries < 200; ++tries) {
        auto answer = std::make_shared<std::optional<double>>();
        page->runJavaScript(QStringLiteral("window.benchFrameDelay === undefined ? -1 : window.benchFrameDelay"),
            [answer](const QVariant& value) { *answer = value.toDouble(); });
        if (!EventWait::until([&] { return answer->has_value(); }, 1000))
            return -1;
        if (**answer >= 0)
            return **answer;
        EventWait::sleep(5);
    }
    return -1;
}

// A bare page of the typesetter in a window of its own, the size of the pane.
class BarePage {
public:
    BarePage(const QElapsedTimer& clock, bool isDrawnAtOnce)
        : m_probe(clock)
    {
        // The pane's own drawing without the view's wait, to compare the
        // pages alone.
        if (isDrawnAtOnce)
            new ImmediateFrames(&m_view, &m_view);
    }

    bool start(const QSize& size, const QPoint& at)
    {
        m_view.resize(size);
        m_view.move(at);
        bool isLoaded = false;
        const QMetaObject::Connection loaded
            = QObject::connect(&m_view, &QWebEngineView::loadFinished, [&](bool) { isLoaded = true; });
        m_view.setHtml(QString::fromUtf8(BarePageHtml), QUrl(QStringLiteral("file:///usr/share/javascript/katex/")));
        m_view.show();
        const bool isReady = EventWait::until([&] { return isLoaded && m_view.focusProxy(); }, 30000);
        QObject::disconnect(loaded);
        if (!isReady)
            return false;
        m_probe.watch(m_view.focusProxy());
        return true;
    }

    PaintProbe& probe() { return m_probe; }

    // The call that typesets the text, made before the clock starts.
    static QString script(const QString& text, bool isFrameMarked)
    {
        const QString script = QLatin1String("render(")
            + QString::fromUtf8(QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact)).mid(1).chopped(1)
            + QLatin1Char(')');
        return isFrameMarked ? withFrameMark(script) : script;
    }

    // Starts the typesetting; the callback gets the page's own milliseconds.
    void render(const QString& script, const std::function<void(double)>& done)
    {
        m_view.page()->runJavaScript(script, [done](const QVariant& value) { done(value.toDouble()); });
    }

    QWebEnginePage* page() const { return m_view.page(); }

private:
    QWebEngineView m_view;
    PaintProbe m_probe;
};

// The main window's pane and two bare pages of the typesetter, side by side
// in one process: one in a stock view, one drawn as the pane is drawn.
class SideBySide {
public:
    // With isPageOnly, the pane's page gets the text straight from here,
    // without the refresh's own work (saving and reading the file), to tell
    // the page's share from the refresh's.
    SideBySide(TKelvaneMainForm* form, bool isPageOnly)
        : m_form(form)
        , m_isPageOnly(isPageOnly)
        , m_browser(form->WebBrowser1)
        , m_paneProbe(m_clock)
        , m_bare(m_clock, false)
        , m_bareAtOnce(m_clock, true)
    {
        m_clock.start();
        QObject::connect(m_browser, &TWebBrowser::rendered, [this](double typesetMs) {
            m_renderedAt = m_clock.nsecsElapsed();
            m_typesetMs = typesetMs;
        });
    }

    bool start()
    {
        if (!EventWait::until([this] { return m_browser->isPageReady() && m_browser->view()->focusProxy(); }, 30000))
            return false;
        const QSize size = m_browser->view()->size();
        const QPoint right(m_form->frameGeometry().right() + 10, m_form->y());
        if (!m_bare.start(size, right) || !m_bareAtOnce.start(size, right + QPoint(0, size.height() + 40)))
            return false;
        m_paneProbe.watch(m_browser->view()->focusProxy());
        return true;
    }

    // The program's refresh of the editor's text.
    Sample pane(const QString& text, bool isPaintExpected)
    {
        m_form->Memo1->SetText(text);
        settle();
        m_renderedAt = -1;
        const qint64 start = m_clock.nsecsElapsed();
        if (m_isPageOnly)
            showInPage(text);
        else
            m_form->Now1Click(m_form);
        const double refresh = ms(m_clock.nsecsElapsed() - start);
        Sample sample = finish(m_browser->page(), m_paneProbe, start, [this] { return m_renderedAt; }, isPaintExpected);
        sample.refresh = refresh;
        return sample;
    }

    Sample bare(const QString& text, bool isDrawnAtOnce)
    {
        BarePage& page = isDrawnAtOnce ? m_bareAtOnce : m_bare;
        const QString script = BarePage::script(text, m_isPageOnly);
        settle();
        qint64 renderedAt = -1;
        const qint64 start = m_clock.nsecsElapsed();
        page.render(script, [&](double typesetMs) {
            renderedAt = m_clock.nsecsElapsed();
            m_typesetMs = typesetMs;
        });
        return finish(page.page(), page.probe(), start, [&] { return renderedAt; }, true);
    }

private:
    // What a refresh sends, the change from the text shown before.
    void showInPage(const QString& text)
    {
        PreviewSource source;
        source.text = text;
        const QString script = m_shownInPage ? source.changeScript(*m_shownInPage) : source.script();
        m_shownInPage = text;
        m_browser->page()->runJavaScript(withFrameMark(script), [this](const QVariant& value) {
            m_renderedAt = m_clock.nsecsElapsed();
            m_typesetMs = value.toDouble();
        });
    }

    void settle()
    {
        m_paneProbe.settle(30, 1000);
        m_bare.probe().settle(30, 1000);
        m_bareAtOnce.probe().settle(30, 1000);
    }

    Sample finish(QWebEnginePage* page, PaintProbe& probe, qint64 start, const std::function<qint64()>& renderedAt,
        bool isPaintExpected)
    {
        Sample sample;
        if (!EventWait::until([&] { return renderedAt() >= 0; }, 60000)) {
            std::fprintf(stderr, "no render\n");
            return sample;
        }
        sample.toRendered = ms(renderedAt() - start);
        sample.renderer = m_typesetMs;
        // The answer comes a little after the page's work ends, so this is
        // that little after its next frame began: still well before any
        // paint of that frame.
        const qint64 frameAt = m_isPageOnly ? renderedAt() + qint64(std::max(frameDelay(page), 0.0) * 1e6) : start;
        // Nothing new to paint after a refresh that changed nothing.
        const qint64 paintAt = probe.waitForPaintSince(frameAt, isPaintExpected ? 3000 : 100);
        if (paintAt >= 0)
            sample.toPaint = ms(std::max(paintAt, renderedAt()) - start);
        return sample;
    }

    TKelvaneMainForm* m_form;
    bool m_isPageOnly;
    TWebBrowser* m_browser;
    QElapsedTimer m_clock;
    PaintProbe m_paneProbe;
    BarePage m_bare;
    BarePage m_bareAtOnce;
    qint64 m_renderedAt = -1;
    double m_typesetMs = 0;
    std::optional<QString> m_shownInPage;
};

void print(const QString& group, const char* path, const Sample& sample)
{
    std::printf("S\t%s\t%s\t%.3f\t%.3f\t%.3f\t%.3f\n", qPrintable(group), path, sample.toPaint, sample.toRendered,
        sample.renderer, sample.refresh);
}

// The pane alone: a sample of its refresh.
void paneOnly(SideBySide& run, const QString& group, const QString& text, bool isPaintExpected, bool record)
{
    const Sample sample = run.pane(text, isPaintExpected);
    if (record)
        print(group, "pane", sample);
}

// Every side shows the same text; which goes first turns by round. The bare
// page drawn at once takes part only where asked: beside a long document's
// seconds of typesetting it adds nothing but load.
void both(SideBySide& run, int round, const QString& group, const QString& text, bool isPaneChanged, bool record,
    bool withDrawnAtOnce = true)
{
    const int sides = withDrawnAtOnce ? 3 : 2;
    for (int turn = 0; turn < sides; ++turn) {
        const int side = (turn + round) % sides;
        if (side == 0) {
            paneOnly(run, group, text, isPaneChanged, record);
            continue;
        }
        const Sample sample = run.bare(text, side == 2);
        if (record)
            print(group, side == 1 ? "bare" : "bare+", sample);
    }
}

QString inserted(int n)
{
    return QStringLiteral("\\Gamma(z_{%1}) = \\int_0^\\infty t^{z-1} e^{-t}\\,dt").arg(n);
}

// A document is shown first, then edited several times in a round: its
// second formula changed (so the change is in view and gets painted), and a
// formula inserted at the top. The yardstick of an edit is the refresh of
// the same formula shown alone. The bare pages typeset the whole text again
// on every edit, so they take part in the first show only; their clean-up
// after seconds of typesetting would compete with the pane's next samples.
int labelCount = 0;

void measureDocument(SideBySide& run, qsizetype kilobytes, int round, int edits, bool record)
{
    QStringList formulas = BenchCorpus::displayFormulas(kilobytes * 1024);
    const QString size = QString::number(kilobytes) + QStringLiteral(" KB");
    const QString original = formulas[1];
    const auto changed = [&](int n) { return original + QStringLiteral(" + %1").arg(n); };
    for (int n = 1; n <= edits; ++n) {
        paneOnly(run, size + QStringLiteral(" b formula alone"), changed(n), true, record);
        paneOnly(run, size + QStringLiteral(" d formula alone"), inserted(n), true, record);
    }
    both(run, round, size + QStringLiteral(" (empty)"), QString(), true, false, false);
    both(run, round, size + QStringLiteral(" a first show"), BenchCorpus::document(formulas, labelCount), true, record, false);
    EventWait::sleep(1000);
    for (int n = 1; n <= edits; ++n) {
        formulas[1] = changed(n);
        paneOnly(run, size + QStringLiteral(" b one changed"), BenchCorpus::document(formulas, labelCount), true, record);
    }
    paneOnly(run, size + QStringLiteral(" c unchanged"), BenchCorpus::document(formulas, labelCount), false, record);
    for (int n = 1; n <= edits; ++n) {
        formulas.prepend(inserted(n));
        paneOnly(run, size + QStringLiteral(" d inserted at top"), BenchCorpus::document(formulas, labelCount), true, record);
    }
}

void measureFormula(SideBySide& run, const BenchCorpus::Entry& entry, int round, bool record)
{
    const QString group = QStringLiteral("formula ") + entry.name;
    both(run, round, group, round % 2 ? entry.variant : entry.text, true, record);
}

// Child: rounds of every measurement, one sample a line.
int runLatency(int rounds, const QList<qsizetype>& documents, int edits, bool withFormulas, bool isPageOnly)
{
    // The main window writes its settings beside the executable when the
    // application object goes, after this function returns.
    static QTemporaryDir dir;
    TKelvaneMainForm* form = startMainWindow(dir.path(), FirstFormula);
    SideBySide run(form, isPageOnly);
    if (!run.start()) {
        std::fprintf(stderr, "the pages did not load\n");
        return 1;
    }
    // The first round of each warms up and is not recorded.
    for (int round = 0; round <= rounds; ++round) {
        // Both pages start each round from the same small text.
        both(run, round, QStringLiteral("(start)"), FirstFormula, true, false);
        for (const BenchCorpus::Entry& entry : BenchCorpus::entries()) {
            if (withFormulas && entry.sizeClass != QLatin1String("large")) {
                for (int i = 0; i < 4; ++i)
                    measureFormula(run, entry, 4 * round + i, round > 0);
            }
        }
        for (qsizetype kilobytes : documents)
            measureDocument(run, kilobytes, round, edits, round > 0);
    }
    return 0;
}

struct Series {
    QList<double> toPaint;
    QList<double> toRendered;
    QList<double> renderer;
    int missingPaints = 0;
};

// variant -> group -> path -> samples, groups in the order they came.
struct Results {
    QMap<QString, QMap<QString, QMap<QString, Series>>> series;
    QStringList groups;
};

// Runs the latency children with and without the engine's frame limit, in
// turns, and gathers their samples.
Results gatherLatency(int batches, const QStringList& arguments)
{
    Results results;
    for (int batch = 0; batch < 2 * batches; ++batch) {
        const bool isUnlimited = (batch % 2 == 1) == (batch / 2 % 2 == 0);
        const QString variant = isUnlimited ? QStringLiteral("unlimited") : QStringLiteral("limited");
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (isUnlimited)
            env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--disable-frame-rate-limit"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), QStringList { QStringLiteral("--latency") } + arguments);
        if (!child.waitForFinished(30 * 60000) || child.exitCode() != 0) {
            std::fprintf(stderr, "latency run failed\n");
            continue;
        }
        const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            const QStringList f = line.split(QLatin1Char('\t'));
            if (f.size() != 7 || f[0] != QLatin1String("S"))
                continue;
            if (!results.groups.contains(f[1]))
                results.groups.append(f[1]);
            Series& s = results.series[variant][f[1]][f[2]];
            const double toPaint = f[3].toDouble();
            if (toPaint >= 0)
                s.toPaint.append(toPaint);
            else
                ++s.missingPaints;
            s.toRendered.append(f[4].toDouble());
            s.renderer.append(f[5].toDouble());
        }
        std::fprintf(stderr, "latency batch %d of %d (%s) done\n", batch + 1, 2 * batches, qPrintable(variant));
    }
    return results;
}

QString figures(const QList<double>& values)
{
    if (values.isEmpty())
        return QStringLiteral("%1").arg(QStringLiteral("-"), 17);
    return QStringLiteral("%1 %2").arg(median(values), 8, 'f', 2).arg(percentile(values, 0.95), 8, 'f', 2);
}

void reportLatency(const Results& results)
{
    const QString variant = QStringLiteral("limited");
    std::printf("\nrefresh to paint, the program's pane against bare pages in the same run (ms)\n"
                "bare: a stock view; bare+: a view drawn as the pane is, each frame at once\n");
    std::printf("%-26s %-5s %5s | %-17s | %-17s | %-17s | %s\n", "", "", "n", "to paint", "to rendered",
        "renderer", "pane/bare, pane/bare+");
    std::printf("%-26s %-5s %5s | %8s %8s | %8s %8s | %8s %8s | %s\n", "", "", "", "median", "p95", "median", "p95",
        "median", "p95", "to paint");
    for (const QString& group : results.groups) {
        const auto& paths = results.series.value(variant).value(group);
        const Series pane = paths.value(QStringLiteral("pane"));
        for (const char* name : { "pane", "bare", "bare+" }) {
            const Series s = paths.value(QLatin1String(name));
            if (s.toRendered.isEmpty())
                continue;
            std::printf("%-26s %-5s %5lld | %s | %s | %s |", qPrintable(group), name, qlonglong(s.toRendered.size()),
                qPrintable(figures(s.toPaint)), qPrintable(figures(s.toRendered)), qPrintable(figures(s.renderer)));
            if (name == std::string_view("pane")) {
                for (const char* base : { "bare", "bare+" }) {
                    const Series b = paths.value(QLatin1String(base));
                    if (!pane.toPaint.isEmpty() && !b.toPaint.isEmpty())
                        std::printf(" x%.2f", median(pane.toPaint) / median(b.toPaint));
                }
            }
            if (s.missingPaints)
                std::printf(" (%d without paint)", s.missingPaints);
            std::printf("\n");
        }
    }
    std::printf("\nan edit of a document against the same formula alone: pane refresh to paint, median ms\n");
    const auto& limited = results.series.value(variant);
    for (const QString& group : results.groups) {
        for (const auto& [edit, alone] : { std::pair(" b one changed", " b formula alone"),
                 std::pair(" d inserted at top", " d formula alone") }) {
            if (!group.endsWith(QLatin1String(edit)))
                continue;
            const QString yardstick = group.chopped(qsizetype(std::strlen(edit))) + QLatin1String(alone);
            const Series e = limited.value(group).value(QStringLiteral("pane"));
            const Series a = limited.value(yardstick).value(QStringLiteral("pane"));
            if (!e.toPaint.isEmpty() && !a.toPaint.isEmpty())
                std::printf("%-26s %8.2f, alone %8.2f: x%.2f\n", qPrintable(group), median(e.toPaint),
                    median(a.toPaint), median(e.toPaint) / median(a.toPaint));
        }
    }
    std::printf("\nthe engine's frame limit: pane refresh to paint, limited against unlimited (interleaved runs)\n");
    std::printf("%-26s | %-17s | %-17s | %s\n", "", "limited", "unlimited", "unlimited/limited");
    for (const QString& group : results.groups) {
        const Series a = results.series.value(QStringLiteral("limited")).value(group).value(QStringLiteral("pane"));
        const Series b = results.series.value(QStringLiteral("unlimited")).value(group).value(QStringLiteral("pane"));
        if (a.toPaint.isEmpty() || b.toPaint.isEmpty())
            continue;
        std::printf("%-26s | %s | %s | x%.3f\n", qPrintable(group), qPrintable(figures(a.toPaint)),
            qPrintable(figures(b.toPaint)), median(b.toPaint) / median(a.toPaint));
    }
}

// Waits until the formula is shown, then for the view's first paint after
// that, and prints the monotonic time of the paint; 1 when either never comes.
int printFirstPaintAfter(const qint64& shownAt, PaintProbe& probe)
{
    if (!EventWait::until([&] { return shownAt >= 0; }, 30000))
        return 1;
    if (probe.waitForPaintSince(shownAt, 5000) < 0)
        return 1;
    std::printf("%lld\n", qlonglong(monotonicNs()));
    return 0;
}

// Child: the program's start with a formula on the clipboard; prints the
// monotonic time of the view's first paint after the first render.
int runFirstPaint()
{
    // The main window writes its settings beside the executable when the
    // application object goes, after this function returns.
    static QTemporaryDir dir;
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
    return printFirstPaintAfter(renderedAt, probe);
}

// Child: a bare view of the typesetter showing the same formula; prints the
// monotonic time of its first paint after the page has typeset it.
int runBareFirstPaint()
{
    QElapsedTimer clock;
    clock.start();
    PaintProbe probe(clock);
    QWebEngineView view;
    view.resize(600, 300);
    qint64 loadedAt = -1;
    QObject::connect(&view, &QWebEngineView::loadFinished, [&](bool) {
        loadedAt = clock.nsecsElapsed();
        probe.watch(view.focusProxy());
    });
    const QString formula = QString::fromUtf8(QJsonDocument(QJsonArray { FirstFormula }).toJson(QJsonDocument::Compact));
    view.setHtml(QStringLiteral("<!DOCTYPE html><meta charset=\"utf-8\"><link rel=stylesheet href=katex.min.css>"
                                "<script src=katex.min.js></script><body><div id=f></div><script>"
                                "katex.render(%1[0], document.getElementById('f'), {displayMode: true})</script>")
                     .arg(formula),
        QUrl(QStringLiteral("file:///usr/share/javascript/katex/")));
    view.show();
    return printFirstPaintAfter(loadedAt, probe);
}

// Child: a process showing a typical formula, then reporting its tree's memory.
int runMemory(const QString& kind)
{
    // The main window writes its settings beside the executable when the
    // application object goes, after this function returns.
    static QTemporaryDir dir;
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
    if (!EventWait::until([&] { return isShown; }, 30000))
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

// The time from a child's start to its first preview painted, or nothing.
std::optional<double> firstPaintOf(const QString& kind)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 started = monotonicNs();
    child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--first-paint"), kind });
    if (!child.waitForFinished(60000) || child.exitCode() != 0) {
        std::fprintf(stderr, "first-paint run failed\n");
        return std::nullopt;
    }
    const qint64 paintedAt = QString::fromUtf8(child.readAllStandardOutput()).trimmed().toLongLong();
    return ms(paintedAt - started);
}

// The program's first preview against a bare view of the typesetter started
// the same way, runs taking turns.
void reportFirstPaint(int runs)
{
    QMap<QString, QList<double>> times;
    const QStringList kinds = { QStringLiteral("pane"), QStringLiteral("bare") };
    for (int i = 0; i < runs; ++i) {
        for (int turn = 0; turn < kinds.size(); ++turn) {
            const QString& kind = kinds[(turn + i) % kinds.size()];
            if (const auto time = firstPaintOf(kind))
                times[kind].append(*time);
        }
    }
    std::printf("\nfirst formula painted after process start (%d runs each, ms)\n", runs);
    for (const QString& kind : kinds) {
        const QList<double>& t = times[kind];
        std::printf("  %-5s median %6.0f, p95 %6.0f\n", qPrintable(kind), median(t), percentile(t, 0.95));
    }
    if (median(times[QStringLiteral("bare")]) > 0)
        std::printf("  pane / bare view = %.2f\n", median(times[QStringLiteral("pane")]) / median(times[QStringLiteral("bare")]));
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
    parser.addOption({ QStringLiteral("first-paint"), QStringLiteral("Child: time the first preview (pane or bare)."),
        QStringLiteral("kind") });
    parser.addOption({ QStringLiteral("latency"), QStringLiteral("Child: latency samples.") });
    parser.addOption({ QStringLiteral("documents"), QStringLiteral("Document sizes in KB."), QStringLiteral("list"),
        QStringLiteral("1,10,100") });
    parser.addOption({ QStringLiteral("edits"), QStringLiteral("Changes and insertions per document and round."),
        QStringLiteral("n"), QStringLiteral("4") });
    parser.addOption({ QStringLiteral("no-formulas"), QStringLiteral("Documents only.") });
    parser.addOption({ QStringLiteral("page-only"),
        QStringLiteral("The pane's page gets the text without the refresh saving and reading the file.") });
    parser.addOption({ QStringLiteral("batches"), QStringLiteral("Latency runs of each variant."), QStringLiteral("n"),
        QStringLiteral("3") });
    parser.addOption({ QStringLiteral("labels"),
        QStringLiteral("Labelled equations, each referred to, at the start of each document."), QStringLiteral("n"),
        QStringLiteral("0") });
    parser.addOption({ QStringLiteral("memory"), QStringLiteral("Child: report memory."), QStringLiteral("kind") });
    parser.addOption({ QStringLiteral("iterations"), QStringLiteral("Rounds of each latency run."), QStringLiteral("n"),
        QStringLiteral("2") });
    parser.addOption({ QStringLiteral("runs"), QStringLiteral("Start-up and memory runs."), QStringLiteral("n"),
        QStringLiteral("5") });
    parser.process(application);

    try {
        if (parser.isSet(QStringLiteral("first-paint")))
            return parser.value(QStringLiteral("first-paint")) == QLatin1String("bare") ? runBareFirstPaint() : runFirstPaint();
        if (parser.isSet(QStringLiteral("memory")))
            return runMemory(parser.value(QStringLiteral("memory")));

        const int rounds = parser.value(QStringLiteral("iterations")).toInt();
        QList<qsizetype> documents;
        for (const QString& size : parser.value(QStringLiteral("documents")).split(QLatin1Char(','), Qt::SkipEmptyParts))
            documents.append(size.toLongLong());
        const int edits = std::max(parser.value(QStringLiteral("edits")).toInt(), 1);
        labelCount = std::max(parser.value(QStringLiteral("labels")).toInt(), 0);
        const bool withFormulas = !parser.isSet(QStringLiteral("no-formulas"));
        if (parser.isSet(QStringLiteral("latency")))
            return runLatency(rounds, documents, edits, withFormulas, parser.isSet(QStringLiteral("page-only")));

        QStringList arguments = { QStringLiteral("--iterations"), QString::number(rounds), QStringLiteral("--documents"),
            parser.value(QStringLiteral("documents")), QStringLiteral("--edits"), QString::number(edits),
            QStringLiteral("--labels"), QString::number(labelCount) };
        if (!withFormulas)
            arguments.append(QStringLiteral("--no-formulas"));
        if (parser.isSet(QStringLiteral("page-only")))
            arguments.append(QStringLiteral("--page-only"));
        reportLatency(gatherLatency(parser.value(QStringLiteral("batches")).toInt(), arguments));
        const int runs = parser.value(QStringLiteral("runs")).toInt();
        reportFirstPaint(runs);
        reportMemory(std::max(runs / 2, 1));
        return 0;
    } catch (...) {
        application.HandleException(&application);
        return 1;
    }
}
