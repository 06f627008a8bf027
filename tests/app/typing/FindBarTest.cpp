#include "app/typing/FindBar.h"
#include "app/typing/FindEngine.h"
#include "editor/MemoView.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

using namespace TestSupport;

namespace {

struct Case {
    const char* text;
    const char* pattern;
    bool isCaseSensitive;
    bool isWholeWord;
    bool isRegularExpression;
    const char* replacement;
    int count;
    const char* replaced;
};

// Focus is read as the window's own focus child: a bare X server without a
// window manager may never make the window active.
class FindBarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(700, 300);
        view = new MemoView(&window);
        view->resize(700, 300);
        bar = new FindBar(view);
        window.show();
        window.activateWindow();
    }

    void search(const Case& c)
    {
        view->setPlainText(QString::fromUtf8(c.text));
        bar->open(true);
        bar->caseBox()->setChecked(c.isCaseSensitive);
        bar->wholeWordBox()->setChecked(c.isWholeWord);
        bar->regularExpressionBox()->setChecked(c.isRegularExpression);
        bar->findField()->setText(QString::fromUtf8(c.pattern));
        bar->replaceField()->setText(QString::fromUtf8(c.replacement));
    }

    QWidget window;
    MemoView* view = nullptr;
    FindBar* bar = nullptr;
};

QString counted(int count)
{
    return count == 0 ? QStringLiteral("No matches")
                      : count == 1 ? QStringLiteral("1 match") : QStringLiteral("%1 matches").arg(count);
}

// Each search counts its matches with the options, replace all changes them
// all in one step, and one undo brings the text back.
TEST_F(FindBarTest, CountAndReplaceAllWithOptionsThenUndo)
{
    const Case cases[] = {
        { "x + X + xx", "x", false, false, false, "y", 4, "y + y + yy" },
        { "x + X + xx", "x", true, false, false, "y", 3, "y + X + yy" },
        { "x + X + xx", "x", false, true, false, "y", 2, "y + y + xx" },
        { "a_1 a_22 b_3", "a_(\\d+)", false, false, true, "a^{\\1}", 2, "a^{1} a^{22} b_3" },
        { "\\alpha\n\\alphabet", "\\alpha", true, true, false, "\\beta", 1, "\\beta\n\\alphabet" },
        { "a.b a+b", "a.b", false, false, false, "c", 1, "c a+b" },
        { "line one\nline two", "^line", false, false, true, "Line", 2, "Line one\nLine two" },
        { "none here", "zz", false, false, false, "y", 0, "none here" },
    };
    for (const Case& c : cases) {
        search(c);
        ASSERT_TRUE(waitUntil([&] { return bar->message() == counted(c.count); })) << c.pattern << " " << bar->message().toStdString();
        bar->replaceAll();
        if (c.count > 0)
            ASSERT_TRUE(waitUntil([&] { return view->toPlainText() == QString::fromUtf8(c.replaced); })) << c.pattern;
        else
            ASSERT_TRUE(waitUntil([&] { return bar->message() == counted(0); }));
        EXPECT_EQ(view->toPlainText().toStdString(), std::string(c.replaced)) << c.pattern;
        view->undo();
        EXPECT_EQ(view->toPlainText().toStdString(), std::string(c.text)) << c.pattern;
    }
}

// A regular expression that does not compile says so in the bar, and
// neither finding nor replacing changes anything.
TEST_F(FindBarTest, InvalidExpressionIsReportedAndChangesNothing)
{
    search({ "a(b", "(b", false, false, true, "x", 0, "" });
    EXPECT_TRUE(bar->message().startsWith(QLatin1String("Not a valid regular expression"))) << bar->message().toStdString();
    bar->replaceAll();
    bar->findNext();
    pump(50);
    EXPECT_EQ(view->toPlainText(), QStringLiteral("a(b"));
    EXPECT_FALSE(view->textCursor().hasSelection());
}

// Enter finds the next match from the caret and selects it, round the end;
// Esc closes the bar and leaves the match selected in the editor.
TEST_F(FindBarTest, EnterFindsNextAndEscReturnsWithTheMatchSelected)
{
    search({ "ab ab ab", "ab", false, false, false, "", 3, "" });
    QTest::keyClick(bar->findField(), Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return view->textCursor().selectedText() == QStringLiteral("ab"); }));
    QTest::keyClick(bar->findField(), Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return view->textCursor().selectionStart() == 3; }));
    QTest::keyClick(bar->findField(), Qt::Key_Return, Qt::ShiftModifier);
    ASSERT_TRUE(waitUntil([&] { return view->textCursor().selectionStart() == 0; }));
    QTest::keyClick(bar->findField(), Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(view->textCursor().selectionEnd(), 2);
    EXPECT_TRUE(waitUntil([&] { return window.focusWidget() == view; }));
}

// Tab goes from the find field to the replace field; Alt+A in the bar is
// Replace All.
TEST_F(FindBarTest, TabToReplaceAndAltAReplacesAll)
{
    search({ "a a", "a", true, false, false, "b", 2, "b b" });
    bar->findField()->setFocus();
    ASSERT_TRUE(waitUntil([&] { return window.focusWidget() == bar->findField(); }));
    QTest::keyClick(bar->findField(), Qt::Key_Tab);
    EXPECT_TRUE(waitUntil([&] { return window.focusWidget() == bar->replaceField(); }));
    QTest::keyClick(bar->replaceField(), Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(waitUntil([&] { return view->toPlainText() == QStringLiteral("b b"); }));
}

// A replacement that would make the text too long is refused whole.
TEST_F(FindBarTest, ReplacementPastTheLimitIsRefused)
{
    const QString big(4096, u'x');
    view->setPlainText(big);
    bar->open(true);
    bar->findField()->setText(QStringLiteral("x"));
    bar->replaceField()->setText(QString(int(2 * FindEngine::MaxTextLength / big.size()), u'y'));
    bar->replaceAll();
    ASSERT_TRUE(waitUntil([&] { return bar->message().startsWith(QLatin1String("Not replaced")); }));
    EXPECT_EQ(view->toPlainText(), big);
}

} // namespace
