#include "app/typing/CompletionList.h"
#include "app/typing/TexEditor.h"
#include "editor/MemoView.h"
#include "TestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* typed;
    const char* first; // the first candidate offered
    Qt::Key key; // that inserts it
    const char* after; // the last line, | at the caret
};

// The candidates come from the installed typesetter and the user's own
// definitions; the chosen one goes in with braces for its arguments and the
// caret in the first.
TEST(CompletionTest, CandidatesForPrefixesAndWhatTheyInsert)
{
    const Case cases[] = {
        { "\\fr", "\\frac{}{}", Qt::Key_Return, "\\frac{|}{}" },
        { "\\alph", "\\alpha", Qt::Key_Tab, "\\alpha|" },
        { "x+\\sq", "\\sqrt{}", Qt::Key_Return, "x+\\sqrt{|}" },
        { "\\leq", "\\leq", Qt::Key_Return, "\\leq|" },
        { "\\myo", "\\myop{}{}", Qt::Key_Return, "\\myop{|}{}" },
        { "\\Rn", "\\Rn", Qt::Key_Return, "\\Rn|" },
        // Letters inside a name are found too, after the names that start so.
        { "\\eftright", "\\Leftrightarrow", Qt::Key_Return, "\\Leftrightarrow|" },
    };
    for (const Case& c : cases) {
        QWidget window;
        window.resize(500, 300);
        auto* view = new MemoView(&window);
        view->resize(500, 300);
        auto* editor = new TexEditor(view);
        editor->setMacrosText(QStringLiteral("\\def\\Rn{\\mathbb{R}^n}"));
        window.show();
        view->setPlainText(QStringLiteral("\\newcommand{\\myop}[2]{#1\\circ #2}\n"));
        view->moveCursor(QTextCursor::End);
        QTest::keyClicks(view, QString::fromUtf8(c.typed));
        CompletionList* list = editor->completion();
        ASSERT_TRUE(TestSupport::waitUntil([&] { return list->isVisible(); })) << c.typed;
        ASSERT_GT(list->count(), 0);
        EXPECT_EQ(list->item(0)->text().toStdString(), std::string(c.first)) << c.typed;
        QTest::keyClick(view, c.key);
        EXPECT_FALSE(list->isVisible());
        QString text = view->toPlainText();
        text.insert(view->textCursor().position(), u'|');
        EXPECT_EQ(text.section(u'\n', -1).toStdString(), std::string(c.after)) << c.typed;
        // The insertion is one step.
        view->undo();
        EXPECT_EQ(view->toPlainText().section(u'\n', -1), QString::fromUtf8(c.typed)) << c.typed;
    }
}

} // namespace
