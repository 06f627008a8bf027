// Key to preview as a user types in a large document. The main window's
// editor gets keys inside a formula at the top, in the middle and at the end
// of a document of 5000 display formulas (about 250 KB), with and without a
// \gdef in front; the refresh comes from the editor's own timer, set to
// refresh at once. The yardstick is the same key in a document of one
// formula, in the same run: the documents take turns each round.
//
// For each key: the milliseconds to the page's report that the text is shown
// (layout included), and to the pane's next paint after it where the edit is
// in view.
//   typing_bench [rounds, default 5] [keys per position and round, default 4]

#include "BenchCorpus.h"
#include "EventWait.h"
#include "PaintProbe.h"
#include "SampleStatistics.h"
#include "application/TApplication.h"
#include "app/TKelvaneMainForm.h"
#include "controls/TMemo.h"
#include "app/preview/TWebBrowser.h"

#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QMap>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>

namespace {

const int FormulaCount = 5000;
const QString Definer = QStringLiteral("$$\\gdef\\R{\\mathbb{R}}$$\n");

struct Series {
    QList<double> toShown;
    // The page's own share: from the text's arrival to its showing.
    QList<double> page;
    QList<double> toPaint;
};

using SampleStatistics::percentile;

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

class Typist {
public:
    explicit Typist(TKelvaneMainForm* form)
        : m_form(form)
        , m_probe(m_clock)
    {
        m_clock.start();
        QObject::connect(form->WebBrowser1, &TWebBrowser::rendered, [this](double pageMs) {
            m_shownAt = m_clock.nsecsElapsed();
            m_pageMs = pageMs;
        });
    }

    // Puts the text in the editor, as a paste would, and waits until the
    // preview shows it.
    bool show(const QString& text)
    {
        m_shownAt = -1;
        m_form->Memo1->SetText(text);
        if (!EventWait::until([this] { return m_shownAt >= 0; }, 120000))
            return false;
        if (!m_isWatching && m_form->WebBrowser1->view()->focusProxy()) {
            m_probe.watch(m_form->WebBrowser1->view()->focusProxy());
            m_isWatching = true;
        }
        m_probe.settle(200, 5000);
        return true;
    }

    // Types a digit just before the end of the formula that ends at the
    // given occurrence of "$$" and waits for the preview.
    void type(int closing, Series& series)
    {
        TMemo* memo = m_form->Memo1;
        const QString text = memo->toPlainText();
        qsizetype at = -2;
        for (int i = 0; i <= closing; ++i)
            at = text.indexOf(QStringLiteral("$$"), at + 2);
        QTextCursor cursor = memo->textCursor();
        cursor.setPosition(int(at));
        memo->setTextCursor(cursor);
        m_probe.settle(30, 1000);
        m_shownAt = -1;
        const qint64 pressed = m_clock.nsecsElapsed();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, QStringLiteral("1"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_1, Qt::NoModifier, QStringLiteral("1"));
        QApplication::sendEvent(memo, &press);
        QApplication::sendEvent(memo, &release);
        if (!EventWait::until([this] { return m_shownAt >= 0; }, 60000)) {
            std::fprintf(stderr, "no refresh\n");
            return;
        }
        series.toShown.append(double(m_shownAt - pressed) / 1e6);
        series.page.append(m_pageMs);
        const qint64 paintAt = m_probe.waitForPaintSince(m_shownAt, 100);
        if (paintAt >= 0)
            series.toPaint.append(double(paintAt - pressed) / 1e6);
    }

private:
    TKelvaneMainForm* m_form;
    QElapsedTimer m_clock;
    PaintProbe m_probe;
    bool m_isWatching = false;
    qint64 m_shownAt = -1;
    double m_pageMs = 0;
};

QString figures(const QList<double>& values)
{
    if (values.isEmpty())
        return QStringLiteral("%1").arg(QStringLiteral("-"), 17);
    return QStringLiteral("%1 %2").arg(percentile(values, 0.5), 8, 'f', 2).arg(percentile(values, 0.95), 8, 'f', 2);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TWebBrowser::PrepareEngine();
    TApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(QString::fromLocal8Bit(argv[1]).toInt(), 1) : 5;
    const int keys = argc > 2 ? std::max(QString::fromLocal8Bit(argv[2]).toInt(), 1) : 4;
    // The main window writes its settings beside the executable when the
    // application object goes.
    static QTemporaryDir dir;
    Application->SetExeName(dir.path() + QStringLiteral("/tamsel"));
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));
    Application->CreateForm(KelvaneMainForm);
    TKelvaneMainForm* form = KelvaneMainForm;
    form->show();
    form->Immediately1Click(form);
    std::printf("load before: %s\n", qPrintable(loadAverage()));

    // Formulas of about 40 characters, so 5000 of them fit the preview's
    // bound on a text; the benchmark's corpus of longer formulas gives a
    // document that is cut at that bound.
    QStringList formulas;
    for (int i = 0; i < FormulaCount; ++i)
        formulas.append(QStringLiteral("\\frac{a_{%1}}{b^2} + \\sqrt{x_{%1}} = y").arg(i));
    const QString document = BenchCorpus::document(formulas);
    const QString cut = BenchCorpus::document(BenchCorpus::displayFormulas(qsizetype(FormulaCount) * 80).mid(0, FormulaCount));
    const QString one = BenchCorpus::document(formulas.mid(0, 1));
    std::printf("5000 formulas: %lld characters; cut: %lld characters\n", qlonglong(document.size()), qlonglong(cut.size()));
    struct Case {
        QString name;
        QString text;
        // The "$$" that closes the formula typed in; the definer's own two
        // come first in a document with it.
        QList<std::pair<QString, int>> positions;
    };
    const QList<Case> cases = {
        { QStringLiteral("one formula"), one, { { QStringLiteral("alone"), 1 } } },
        { QStringLiteral("5000 formulas"), document,
            { { QStringLiteral("top"), 1 }, { QStringLiteral("middle"), FormulaCount + 1 },
                { QStringLiteral("end"), 2 * FormulaCount - 1 } } },
        { QStringLiteral("\\gdef + 5000"), Definer + document,
            { { QStringLiteral("top"), 3 }, { QStringLiteral("middle"), FormulaCount + 3 },
                { QStringLiteral("end"), 2 * FormulaCount + 1 } } },
        { QStringLiteral("5000 longer, cut"), cut,
            { { QStringLiteral("top"), 1 }, { QStringLiteral("middle"), FormulaCount + 1 } } },
    };
    QMap<QString, Series> results;
    QStringList order;
    Typist typist(form);
    // The first round warms up and is not recorded.
    for (int round = 0; round <= rounds; ++round) {
        for (int turn = 0; turn < cases.size(); ++turn) {
            const Case& c = cases[(turn + round) % cases.size()];
            if (!typist.show(c.text)) {
                std::fprintf(stderr, "the document was not shown\n");
                return 1;
            }
            for (int key = 0; key < keys; ++key) {
                for (const auto& [position, closing] : c.positions) {
                    const QString name = c.name + QStringLiteral(", ") + position;
                    if (!order.contains(name))
                        order.append(name);
                    Series scratch;
                    typist.type(closing, round > 0 ? results[name] : scratch);
                }
            }
        }
    }
    std::printf("load after: %s\n", qPrintable(loadAverage()));
    std::printf("\nkey to preview, typing into a formula (ms; %d rounds of %d keys)\n", rounds, keys);
    std::printf("%-24s | %-17s | %-17s | %-17s | %s\n", "", "to shown", "to paint", "in the page", "shown / one formula");
    std::printf("%-24s | %8s %8s | %8s %8s | %8s %8s |\n", "", "median", "p95", "median", "p95", "median", "p95");
    const double yardstick = percentile(results.value(order.value(0)).toShown, 0.5);
    for (const QString& name : order) {
        const Series& s = results[name];
        std::printf("%-24s | %s | %s | %s | x%.2f\n", qPrintable(name), qPrintable(figures(s.toShown)),
            qPrintable(figures(s.toPaint)), qPrintable(figures(s.page)), yardstick > 0 ? percentile(s.toShown, 0.5) / yardstick : 0.0);
    }
    return 0;
}
