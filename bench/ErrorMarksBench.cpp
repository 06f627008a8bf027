// What the error marks cost a refresh of a text whose formulas all fail:
// 5000 formulas with an unknown command each. A round takes the page's report
// as its channel hands it over, marks the errors in the editor and paints
// the editor; the yardstick, in the same run and in turn, paints the same
// editor with its marks unchanged. Medians and 95th percentiles.
//
// Run under a display (xvfb-run).

#include "app/ErrorMarks.h"
#include "SampleStatistics.h"

#include <QApplication>
#include <QElapsedTimer>
#include "controls/TMemo.h"
#include <QTextBlock>
#include <QVariantMap>

#include <functional>

#include <cstdio>

namespace {

constexpr int Formulas = 5000;
constexpr int Rounds = 40;

struct Document {
    QString text;
    QVariantList report;
};

// One failing formula per line, reported as the page reports it.
Document failingDocument()
{
    Document document;
    for (int i = 0; i < Formulas; ++i) {
        const qsizetype start = document.text.size();
        const QString formula = QStringLiteral("$\\nosuch{%1} + x_%1$").arg(i);
        document.text += formula + QStringLiteral(" and text\n");
        document.report.append(QVariantMap{
            { QStringLiteral("start"), start },
            { QStringLiteral("end"), start + formula.size() },
            { QStringLiteral("errorAt"), start + 1 },
            { QStringLiteral("errorEnd"), start + 8 },
            { QStringLiteral("reach"), start + formula.size() },
            { QStringLiteral("message"), QStringLiteral("Undefined control sequence: \\nosuch") },
        });
    }
    return document;
}

double millisecondsOf(const std::function<void()>& work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return double(clock.nsecsElapsed()) / 1e6;
}

void print(const char* name, const QList<double>& samples)
{
    std::printf("  %-34s median %8.2f ms   p95 %8.2f ms   (n=%lld)\n", name, SampleStatistics::median(samples),
        SampleStatistics::percentile(samples, 0.95), static_cast<long long>(samples.size()));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TMemo editor(nullptr);
    editor.resize(800, 400);
    editor.show();
    ErrorMarks marks(&editor);
    const Document document = failingDocument();
    editor.setPlainText(document.text);
    // The caret in the middle, so the editor shows marked lines.
    QTextCursor middle(editor.document()->findBlockByNumber(Formulas / 2));
    editor.setTextCursor(middle);
    editor.centerCursor();
    QApplication::processEvents();

    QList<double> marking;
    QList<double> painting;
    for (int round = 0; round < Rounds; ++round) {
        marking.append(millisecondsOf([&] {
            marks.show(document.text, FormulaError::listFrom(document.report));
            editor.viewport()->repaint();
        }));
        painting.append(millisecondsOf([&] { editor.viewport()->repaint(); }));
        QApplication::processEvents();
    }
    std::printf("%d failing formulas (%lld characters), %zu marked:\n", Formulas,
        static_cast<long long>(document.text.size()), static_cast<size_t>(marks.errors().size()));
    print("report taken, marked and painted", marking);
    print("yardstick: the editor painted", painting);
    return 0;
}
