// What the editor's TeX features cost: the completion list shown after a key
// (with its glyphs), and a search in a line of 50 MB (the time to the first
// match and to the count), each against a yardstick in the same run: a key
// typed without completion, and QString::indexOf over the same text.
//
//   typing_features_bench [line length in characters, default 50 MiB] [rounds, default 9]

#include "app/typing/CompletionList.h"
#include "app/typing/FindBar.h"
#include "app/typing/FindEngine.h"
#include "app/typing/TexEditor.h"
#include "controls/TMemo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void key(QWidget* target, int code, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
}

template <typename Condition> void waitFor(Condition condition)
{
    while (!condition())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const qsizetype length = argc > 1 ? QByteArray(argv[1]).toLongLong() : 50 * 1024 * 1024;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 9;

    TMemo memo(nullptr);
    memo.resize(600, 200);
    auto* editor = new TexEditor(&memo);
    memo.show();
    memo.setFocus();
    std::vector<double> listShown;
    std::vector<double> plainKey;
    for (int i = 0; i < rounds; ++i) {
        memo.SetText(QStringLiteral("\\int_0^1 "));
        memo.moveCursor(QTextCursor::End);
        key(&memo, Qt::Key_Backslash, QStringLiteral("\\"));
        QElapsedTimer clock;
        clock.start();
        key(&memo, Qt::Key_F, QStringLiteral("f"));
        waitFor([&] { return editor->completion()->isVisible(); });
        QCoreApplication::processEvents();
        listShown.push_back(double(clock.nsecsElapsed()) / 1e6);
        editor->completion()->hide();
        memo.SetText(QStringLiteral("\\int_0^1 "));
        memo.moveCursor(QTextCursor::End);
        clock.restart();
        key(&memo, Qt::Key_X, QStringLiteral("x"));
        QCoreApplication::processEvents();
        plainKey.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("completion list shown after a key: median %.2f ms; a key without the list: median %.2f ms\n",
        median(listShown), median(plainKey));

    QString line(length, u'x');
    line.replace(length - 10, 6, QStringLiteral("\\alpha"));
    memo.SetText(line);
    FindEngine* engine = editor->findBar()->engine();
    std::vector<double> first;
    std::vector<double> counted;
    std::vector<double> yardstick;
    for (int i = 0; i < rounds; ++i) {
        bool isCounted = false;
        bool isFound = false;
        auto c1 = QObject::connect(engine, &FindEngine::counted, [&](int) { isCounted = true; });
        auto c2 = QObject::connect(engine, &FindEngine::found, [&](int, int) { isFound = true; });
        QElapsedTimer clock;
        clock.start();
        engine->setPattern(QStringLiteral("\\alpha"), {});
        engine->find(0, false);
        waitFor([&] { return isFound; });
        first.push_back(double(clock.nsecsElapsed()) / 1e6);
        waitFor([&] { return isCounted; });
        counted.push_back(double(clock.nsecsElapsed()) / 1e6);
        QObject::disconnect(c1);
        QObject::disconnect(c2);
        clock.restart();
        const qsizetype at = line.indexOf(QStringLiteral("\\alpha"), 0, Qt::CaseInsensitive);
        yardstick.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (at < 0)
            return 1;
    }
    std::printf("find in a line of %lld characters (match at its end): first match median %.1f ms, count median %.1f ms; "
                "indexOf over the same text: median %.1f ms\n",
        qlonglong(length), median(first), median(counted), median(yardstick));
    return 0;
}
