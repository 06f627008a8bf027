// How long a formula takes to leave the preview: from the context menu's
// command (the exporter's copy) to the clipboard holding the PNG, and the
// MathML, for a typical formula and a large one.
//
// Run under a display (xvfb-run). The commands take turns in one run with two
// yardsticks of the same pane: a grab of the view (the widget drawing what the
// engine last composited) and a script round trip to the page (the least any
// command that asks the page something costs). Medians and 95th percentiles.

#include "EventWait.h"
#include "application/TApplication.h"
#include "app/preview/FormulaExporter.h"
#include "app/preview/PreviewContextMenu.h"
#include "app/preview/TWebBrowser.h"

#include <QClipboard>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <stdexcept>

namespace {

constexpr int TimeoutMs = 30000;

struct Formula {
    const char* name;
    QString text;
};

QString largeFormula()
{
    // A 12 by 12 matrix of fractions under a sum: about as large as a
    // formula anyone writes by hand.
    QStringList rows;
    for (int i = 1; i <= 12; ++i) {
        QStringList cells;
        for (int j = 1; j <= 12; ++j)
            cells.append(QStringLiteral("\\frac{x_{%1}^{%2}}{1+y_{%2}}").arg(i).arg(j));
        rows.append(cells.join(QLatin1Char('&')));
    }
    return QStringLiteral("$$\\sum_{k=0}^{\\infty} \\begin{pmatrix}%1\\end{pmatrix}^k$$").arg(rows.join(QStringLiteral("\\\\")));
}

QList<Formula> formulas()
{
    return {
        { "typical", QStringLiteral("$$\\int_0^1 \\frac{x^2}{\\sqrt{1+x^2}}\\,dx = \\sum_{n=0}^{\\infty} \\frac{(-1)^n}{2n+1}$$") },
        { "large", largeFormula() },
    };
}

double percentile(QList<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const qsizetype rank = std::clamp<qsizetype>(qsizetype(std::ceil(p * double(values.size()))), 1, values.size());
    return values.at(rank - 1);
}

class Bench {
public:
    Bench()
    {
        m_window.resize(900, 700);
        m_browser = new TWebBrowser(&m_window);
        m_browser->setWidth(900);
        m_browser->setHeight(700);
        m_window.show();
        m_exporter = m_browser->contextMenu()->exporter();
        m_exporter->setDensity(2);
    }

    // Shows the formula alone, so any point of the view stands for it.
    ExportTarget show(const QString& text)
    {
        const QString path = m_dir.filePath(QStringLiteral("preview.tex"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error("cannot write the preview file");
        file.write(text.toUtf8());
        file.close();
        bool isShown = false;
        const auto connection = QObject::connect(m_browser, &TWebBrowser::rendered, [&] { isShown = true; });
        m_browser->Navigate(path);
        const bool hasShown = EventWait::until([&] { return isShown; }, TimeoutMs);
        QObject::disconnect(connection);
        if (!hasShown)
            throw std::runtime_error("the preview never showed the formula");
        std::optional<ExportTarget> target;
        m_exporter->describeAt(QPoint(10, 10), [&](const ExportTarget& found) { target = found; });
        if (!EventWait::until([&] { return target.has_value(); }, TimeoutMs) || !target->isFormula)
            throw std::runtime_error("no formula under the pointer");
        return *target;
    }

    // From the command to the clipboard holding the form's own type.
    double copy(FormulaExporter::Format format, const ExportTarget& target, const QString& type)
    {
        QGuiApplication::clipboard()->clear();
        bool isDone = false;
        QElapsedTimer timer;
        timer.start();
        m_exporter->copy(format, target, [&](bool) { isDone = true; });
        const auto holds = [&] {
            const QMimeData* data = QGuiApplication::clipboard()->mimeData();
            return isDone && data != nullptr && data->hasFormat(type);
        };
        if (!EventWait::until(holds, TimeoutMs))
            throw std::runtime_error("the clipboard never held " + type.toStdString());
        return double(timer.nsecsElapsed()) / 1e6;
    }

    double grab()
    {
        QElapsedTimer timer;
        timer.start();
        const QPixmap pixmap = m_browser->view()->grab();
        if (pixmap.isNull())
            throw std::runtime_error("the grab is empty");
        return double(timer.nsecsElapsed()) / 1e6;
    }

    double roundTrip()
    {
        bool isDone = false;
        QElapsedTimer timer;
        timer.start();
        m_browser->page()->runJavaScript(QStringLiteral("1"), [&](const QVariant&) { isDone = true; });
        if (!EventWait::until([&] { return isDone; }, TimeoutMs))
            throw std::runtime_error("the page never answered");
        return double(timer.nsecsElapsed()) / 1e6;
    }

private:
    QTemporaryDir m_dir;
    QWidget m_window;
    TWebBrowser* m_browser = nullptr;
    FormulaExporter* m_exporter = nullptr;
};

void report(const char* formula, const char* what, const QList<double>& samples)
{
    std::printf("  %-8s %-22s median %8.2f ms   p95 %8.2f ms   (n=%lld)\n", formula, what, percentile(samples, 0.5),
        percentile(samples, 0.95), static_cast<long long>(samples.size()));
}

void run(int rounds)
{
    Bench bench;
    const QString png = QStringLiteral("image/png");
    const QString mathml = QStringLiteral("application/mathml+xml");
    for (const Formula& formula : formulas()) {
        const ExportTarget target = bench.show(formula.text);
        // A first run of each, unmeasured: the page's first print and MathML.
        bench.copy(FormulaExporter::Image, target, png);
        bench.copy(FormulaExporter::MathML, target, mathml);
        QList<double> image, math, grab, trip;
        const std::function<void()> steps[] = {
            [&] { image.append(bench.copy(FormulaExporter::Image, target, png)); },
            [&] { math.append(bench.copy(FormulaExporter::MathML, target, mathml)); },
            [&] { grab.append(bench.grab()); },
            [&] { trip.append(bench.roundTrip()); },
        };
        // Each round starts with another step, so none always follows the same one.
        for (int round = 0; round < rounds; ++round)
            for (int step = 0; step < 4; ++step)
                steps[(round + step) % 4]();
        report(formula.name, "copy as image (PNG)", image);
        report(formula.name, "copy as MathML", math);
        report(formula.name, "yardstick: grab view", grab);
        report(formula.name, "yardstick: script trip", trip);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    TWebBrowser::PrepareEngine();
    TApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QCommandLineParser parser;
    parser.addOption({ QStringLiteral("rounds"), QStringLiteral("Samples of each command."), QStringLiteral("n"),
        QStringLiteral("40") });
    parser.process(application);
    try {
        std::printf("From the menu command to the clipboard holding the form:\n");
        run(std::max(parser.value(QStringLiteral("rounds")).toInt(), 1));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "export_bench: %s\n", error.what());
        return 1;
    }
}
