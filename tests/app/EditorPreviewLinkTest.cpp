#include "MainFormFixture.h"

#include <QTest>
#include <QWebEngineView>

// The editor and the preview in step, as the user drives them: a double
// click on a formula puts the caret at its source; a click gives the preview
// the focus, where the copy key copies the selection as source and a typed
// key goes on to the editor.
class EditorPreviewLinkTest : public MainFormFixture {
protected:
    void SetUp() override
    {
        startWith({});
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    }

    QWidget* surface() const { return form->WebBrowser1->view()->focusProxy(); }

    // The middle of the nth formula of the preview, in the view.
    QPoint formulaPoint(int nth)
    {
        const QVariantList at = runInPage(QStringLiteral(
            "(() => { const b = document.querySelectorAll('.preview-display .katex-html, .preview-inline .katex-html,"
            " .preview-error')[%1].getBoundingClientRect(); return [b.x + b.width / 2, b.y + b.height / 2]; })()").arg(nth)).toList();
        return QPoint(at.value(0).toInt(), at.value(1).toInt());
    }
};

TEST_F(EditorPreviewLinkTest, DoubleClickOnAFormulaPutsTheCaretAtItsSource)
{
    // The text, the formula double-clicked, what is typed at the start of the
    // editor after the refresh and where the caret lands.
    const struct { const char* text; int formula; const char* typedBefore; int caret; } cases[] = {
        { "a $x$ b $y^2$ c", 1, "", 8 },
        { "Line\r\n\\[ \\frac{1}{2} \\]\r\nand \\(z\\)", 0, "", 5 },
        { "Line\r\n\\[ \\frac{1}{2} \\]\r\nand \\(z\\)", 1, "", 27 },
        { "text\r\n\\begin{align} a &= b \\end{align}\r\n$$\\nope$$", 1, "", 38 },
        { "a $x$ b $y^2$ c", 1, "new ", 12 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(refreshWith(QString::fromUtf8(c.text)));
        QTextCursor(form->Memo1->document()).insertText(QString::fromUtf8(c.typedBefore));
        form->Memo1->moveCursor(QTextCursor::Start);
        // Through the window, as the window system delivers it.
        QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, {}, surface()->mapTo(form, formulaPoint(c.formula)));
        EXPECT_TRUE(TestSupport::waitUntil([&] { return form->Memo1->textCursor().position() == c.caret; }, 20000))
            << "caret at " << form->Memo1->textCursor().position();
        EXPECT_EQ(form->focusWidget(), form->Memo1);
    }
}

TEST_F(EditorPreviewLinkTest, ThePreviewTakesTheFocusOnAClickCopiesItsSelectionAndHandsTypingOn)
{
    ASSERT_TRUE(refreshWith(QStringLiteral("See $x^2$ here")));
    form->Memo1->setFocus();
    form->Memo1->moveCursor(QTextCursor::End);
    // The page takes the click in its own time: the selection below is made
    // once the click has landed, or the click would undo it.
    runInPage(QStringLiteral("window.clickLanded = false; addEventListener('mouseup', () => { window.clickLanded = true; }, true)"));
    QTest::mouseClick(surface(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(TestSupport::waitUntil([&] { return form->focusWidget() == surface(); }));
    EXPECT_TRUE(TestSupport::waitUntil([&] { return runInPage(QStringLiteral("window.clickLanded")).toBool(); }));

    runInPage(QStringLiteral("getSelection().selectAllChildren(document.getElementById('content'))"));
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(surface(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return QGuiApplication::clipboard()->text() == "See $x^2$ here"; }))
        << QGuiApplication::clipboard()->text().toStdString();

    QTest::keyClick(surface(), Qt::Key_Down);
    EXPECT_EQ(form->focusWidget(), surface()) << "a key that moves stays in the preview";
    QTest::keyClicks(surface(), QStringLiteral("!"));
    EXPECT_EQ(form->focusWidget(), form->Memo1);
    EXPECT_EQ(form->Memo1->Text(), QStringLiteral("See $x^2$ here!"));
}
