#include "app/TKelvaneMainForm.h"
#include "app/typing/CompletionList.h"
#include "app/typing/FindBar.h"
#include "app/typing/TexEditor.h"
#include "app/MainFormFixture.h"
#include "application/TApplication.h"
#include "controls/TMemo.h"

#include <QLineEdit>
#include <QTest>

namespace {

using Escape = MainFormFixture;

// Esc closes the completion list or the find bar that is open, and only
// that; with neither open it is the menu's Minimize.
TEST_F(Escape, ClosesTheListOrTheBarElseMinimizes)
{
    struct Case {
        const char* name;
        std::function<QWidget*(TexEditor*)> open; // what Esc is pressed in, after opening
        bool minimizes;
    };
    const Case cases[] = {
        { "list", [](TexEditor* editor) {
             QTest::keyClicks(editor->completion()->parentWidget(), QStringLiteral("\\fr"));
             return editor->completion()->isVisible() ? editor->completion()->parentWidget() : nullptr;
         }, false },
        { "bar", [](TexEditor* editor) {
             editor->findBar()->open(false);
             return editor->findBar()->isVisible() ? editor->findBar()->findField() : nullptr;
         }, false },
        { "nothing", [](TexEditor* editor) { return editor->completion()->parentWidget(); }, true },
    };
    for (const Case& c : cases) {
        startWith(QStringLiteral("x"));
        form->show();
        form->Memo1->setFocus();
        form->Memo1->moveCursor(QTextCursor::End);
        QWidget* target = c.open(form->TexEditor1());
        ASSERT_NE(target, nullptr) << c.name;
        QTest::keyClick(target, Qt::Key_Escape);
        EXPECT_EQ(Application->IsMinimized(), c.minimizes) << c.name;
        EXPECT_FALSE(form->TexEditor1()->completion()->isVisible()) << c.name;
        EXPECT_FALSE(form->TexEditor1()->findBar()->isVisible()) << c.name;
        EXPECT_EQ(form->Memo1->toPlainText().left(1), QStringLiteral("x")) << c.name;
        if (Application->IsMinimized())
            Application->Restore();
    }
}

} // namespace
