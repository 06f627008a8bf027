#include "app/typing/TexEditor.h"
#include "editor/MemoView.h"
#include "TestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* before; // | marks the caret
    const char* keys; // typed one by one; < is Backspace
    const char* after; // | marks the caret
    int undos; // undos that bring the text before back
};

QString withCaret(MemoView& view)
{
    QString text = view.toPlainText();
    return text.insert(view.textCursor().position(), u'|');
}

TEST(AutoPairsTest, PairsTypedSteppedOverAndRemovedInOneStep)
{
    const Case cases[] = {
        { "|", "{", "{|}", 1 },
        { "x| y", "(", "x(|) y", 1 },
        { "a|\nb", "[", "a[|]\nb", 1 },
        // Not before a letter or other text.
        { "|x", "{", "{|x", 1 },
        // The partner typed over, after text typed inside.
        { "|", "{a}", "{a}|", 2 },
        { "|", "{}", "{}|", 1 },
        // Before the inserted partner is no white space.
        { "|", "((", "((|)", 2 },
        // Backspace right after removes both, also once what was typed
        // between them is gone again; elsewhere only the one character.
        { "|", "{<", "|", 0 },
        { "|", "{a<<", "|", 0 },
        { "|", "{}<", "{|", 2 },
        // A closing one not inserted by the pair is typed as usual.
        { "|}", "}", "}|}", 1 },
    };
    for (const Case& c : cases) {
        QWidget window;
        auto* view = new MemoView(&window);
        new TexEditor(view);
        window.show();
        QString before = QString::fromUtf8(c.before);
        const int caret = int(before.indexOf(u'|'));
        before.remove(caret, 1);
        view->setPlainText(before);
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(caret);
        view->setTextCursor(cursor);
        for (const char* k = c.keys; *k; ++k) {
            if (*k == '<')
                QTest::keyClick(view, Qt::Key_Backspace);
            else
                QTest::keyClick(view, *k);
        }
        EXPECT_EQ(withCaret(*view).toStdString(), std::string(c.after)) << c.before << " " << c.keys;
        for (int i = 0; i < c.undos; ++i)
            view->undo();
        if (c.undos > 0) {
            EXPECT_EQ(view->toPlainText(), before) << c.before << " " << c.keys;
        }
    }
}

} // namespace
