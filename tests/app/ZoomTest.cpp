#include "app/PaneZoom.h"
#include "MainFormFixture.h"
#include "controls/TMenuItem.h"

#include <QFile>
#include <QTest>
#include <QWebEngineView>
#include <QWheelEvent>

// The steps between 50% and 400%, and what a stored value becomes.
TEST(PaneZoom, StepsAndStoredValues)
{
    struct Case {
        const char* name;
        int from;
        void (PaneZoom::*step)();
        int expected;
    };
    const Case cases[] = {
        { "in from 100", 100, &PaneZoom::ZoomIn, 110 },
        { "out from 100", 100, &PaneZoom::ZoomOut, 90 },
        { "in from 300", 300, &PaneZoom::ZoomIn, 400 },
        { "in stops at 400", 400, &PaneZoom::ZoomIn, 400 },
        { "out stops at 50", 50, &PaneZoom::ZoomOut, 50 },
        { "out from 67", 67, &PaneZoom::ZoomOut, 50 },
        { "reset", 250, &PaneZoom::Reset, 100 },
    };
    for (const Case& c : cases) {
        PaneZoom zoom(nullptr);
        zoom.SetPercent(c.from);
        (zoom.*c.step)();
        EXPECT_EQ(zoom.Percent(), c.expected) << c.name;
    }
    const std::pair<int, int> stored[] = { { 0, 100 }, { -5, 100 }, { 49, 100 }, { 401, 100 }, { 130, 125 }, { 200, 200 }, { 52, 50 } };
    for (const auto& [value, expected] : stored)
        EXPECT_EQ(PaneZoom::Snapped(value), expected) << value;
}

namespace {

class Zoom : public MainFormFixture {
protected:
    QString iniPath() const { return dir.filePath(QStringLiteral("tamsel.ini")); }
    void startShown()
    {
        startWith(QStringLiteral("x^2"));
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
        ASSERT_TRUE(refreshWith(QStringLiteral("a^2+b^2")));
    }
    void wheel(QWidget* target, int delta)
    {
        const QPointF at(10, 10);
        QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::ControlModifier,
            Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    }
};

} // namespace

// The keys zoom the pane with the focus, the wheel the pane under the
// pointer; Ctrl+0 stays the menu's; both zooms come back after a restart,
// and a file without them leaves both at 100%.
TEST_F(Zoom, KeysWheelAndRestart)
{
    startShown();
    const qreal designedSize = form->Memo1->font().pointSizeF();
    form->activateWindow();
    form->Memo1->setFocus();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return QApplication::focusWidget() == form->Memo1; }));
    struct Case {
        const char* name;
        int key;
        Qt::KeyboardModifiers modifiers;
        int editor;
    };
    const Case keys[] = {
        { "Ctrl+=", Qt::Key_Equal, Qt::ControlModifier, 110 },
        { "Ctrl+plus", Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier, 125 },
        { "keypad plus", Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier, 150 },
        { "Ctrl+minus", Qt::Key_Minus, Qt::ControlModifier, 125 },
        { "Ctrl+0 is the menu's", Qt::Key_0, Qt::ControlModifier, 125 },
        { "keypad 0 resets", Qt::Key_0, Qt::ControlModifier | Qt::KeypadModifier, 100 },
        { "Ctrl+=", Qt::Key_Equal, Qt::ControlModifier, 110 },
    };
    for (const Case& c : keys) {
        QTest::keyClick(form->Memo1, Qt::Key(c.key), c.modifiers);
        EXPECT_EQ(form->EditorZoom1->Percent(), c.editor) << c.name;
        EXPECT_EQ(form->PreviewZoom1->Percent(), 100) << c.name;
    }
    EXPECT_TRUE(form->Every10Seconds1->Checked());
    EXPECT_DOUBLE_EQ(form->Memo1->font().pointSizeF(), designedSize * 1.1);
    EXPECT_EQ(form->Memo1->Text(), QStringLiteral("a^2+b^2")) << "no zoom key typed";

    // The wheel over the page zooms the page, whichever pane has the focus.
    QWidget* page = form->WebBrowser1->view()->focusProxy() ? form->WebBrowser1->view()->focusProxy() : form->WebBrowser1->view();
    for (int i = 0; i < 5; ++i) // 110, 125, 150, 175, 200
        wheel(page, 120);
    wheel(page, 60); // half a notch does nothing yet
    EXPECT_EQ(form->PreviewZoom1->Percent(), 200);
    EXPECT_EQ(form->EditorZoom1->Percent(), 110);
    EXPECT_DOUBLE_EQ(form->WebBrowser1->page()->zoomFactor(), 2.0);

    form->Exit1Click(form->Exit1);
    const QByteArray saved = TestSupport::readFile(iniPath());
    EXPECT_TRUE(saved.contains("EditorZoom1_Percent=110\r\n")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("PreviewZoom1_Percent=200\r\n")) << saved.toStdString();

    Application->ResetForTesting();
    startShown();
    EXPECT_EQ(form->EditorZoom1->Percent(), 110);
    EXPECT_EQ(form->PreviewZoom1->Percent(), 200);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return form->WebBrowser1->page()->zoomFactor() == 2.0; }));

    Application->ResetForTesting();
    QFile::remove(iniPath());
    startShown();
    EXPECT_EQ(form->EditorZoom1->Percent(), 100);
    EXPECT_EQ(form->PreviewZoom1->Percent(), 100);
    EXPECT_DOUBLE_EQ(form->Memo1->font().pointSizeF(), designedSize);
}

// A zoomed editor takes a line of megabytes as an unzoomed one does.
TEST_F(Zoom, ZoomedEditorTakesAHugeLine)
{
    const QString huge(10 * 1024 * 1024, u'x');
    startWith(huge);
    form->EditorZoom1->SetPercent(200);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    EXPECT_EQ(form->Memo1->Text().size(), huge.size());
    form->EditorZoom1->SetPercent(100);
    EXPECT_EQ(form->Memo1->Text().size(), huge.size());
    // And a huge line that comes to an editor zoomed before.
    form->Memo1->SetText(QString());
    form->EditorZoom1->SetPercent(150);
    form->Memo1->SetText(huge);
    EXPECT_EQ(form->Memo1->Text().size(), huge.size());
}
