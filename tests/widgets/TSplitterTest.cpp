#include "controls/TAlignLayout.h"
#include "application/TApplication.h"
#include "controls/TForm.h"
#include "controls/TKeyDownHook.h"
#include "widgets/TSplitter.h"
#include "TestSupport.h"

#include <QKeyEvent>
#include <QMetaProperty>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A form whose 400 by 300 client area holds a first control, the bar and a
// second control, aligned as each test asks.
class Splitter : public ::testing::Test {
protected:
    void build(TAlign firstAlign, TAlign splitterAlign, TAlign secondAlign = alNone)
    {
        posChanged = 0;
        form = std::make_unique<TForm>();
        form->resize(400, 300);
        QWidget* client = form->ClientArea();
        client->resize(400, 300);
        // Edge controls are laid out in the order they were aligned, so the
        // one the bar resizes comes before the bar.
        first = aligned(firstAlign);
        second = firstAlign == alClient ? aligned(secondAlign) : nullptr;
        splitter = new TSplitter(client);
        splitter->setObjectName(QStringLiteral("Splitter9"));
        splitter->SetAlign(splitterAlign);
        if (firstAlign != alClient && secondAlign != alNone)
            second = aligned(secondAlign);
        splitter->SetControlFirst(first);
        splitter->SetControlSecond(second);
        splitter->OnPosChanged = TNotifyEvent::fromFunction([this](TObject*) { ++posChanged; });
    }

    QWidget* aligned(TAlign align)
    {
        auto* control = new QWidget(form->ClientArea());
        control->resize(100, 100);
        TAlignLayout::setAlign(control, align);
        return control;
    }

    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
        QMouseEvent event(type, at, splitter->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button,
            held, Qt::NoModifier);
        QApplication::sendEvent(splitter, &event);
    }

    // Presses at the bar's top-left pixel, moves by the offset and releases there.
    void drag(QPoint offset, Qt::MouseButton releaseButton = Qt::LeftButton)
    {
        mouse(QEvent::MouseButtonPress, { 1, 1 });
        mouse(QEvent::MouseMove, QPoint(1, 1) + offset);
        mouse(QEvent::MouseButtonRelease, QPoint(1, 1) + offset, releaseButton);
    }

    void key(QWidget* target, int qtKey)
    {
        QKeyEvent event(QEvent::KeyPress, qtKey, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }

    std::unique_ptr<TForm> form;
    QWidget* first = nullptr;
    QWidget* second = nullptr;
    TSplitter* splitter = nullptr;
    int posChanged = 0;
    TestSupport::MessageBoxRecorder boxes;
};

} // namespace

TEST_F(Splitter, ResizeModeGivesTheCursor)
{
    const struct {
        TAlign first, splitter, second;
        int cursor;
    } cases[] = {
        { alTop, alTop, alClient, crVSplit },
        { alBottom, alBottom, alNone, crVSplit },
        { alClient, alBottom, alBottom, crVSplit },
        { alClient, alTop, alTop, crVSplit },
        { alLeft, alLeft, alClient, crHSplit },
        { alRight, alRight, alNone, crHSplit },
        { alClient, alRight, alRight, crHSplit },
        { alClient, alLeft, alLeft, crHSplit },
        { alTop, alTop, alTop, crDefault },
        { alTop, alTop, alLeft, crDefault },
        { alTop, alBottom, alClient, crDefault },
        { alClient, alClient, alClient, crDefault },
        { alNone, alTop, alClient, crDefault },
    };
    for (const auto& c : cases) {
        build(c.first, c.splitter, c.second);
        EXPECT_EQ(splitter->Cursor(), c.cursor) << c.first << " " << c.splitter << " " << c.second;
        EXPECT_EQ(splitter->cursor().shape(), CursorShape(TCursor(c.cursor)));
        drag({ 30, 30 });
        EXPECT_EQ(posChanged, c.cursor == crDefault ? 0 : 1) << "mode 0 ignores presses";
    }
    build(alTop, alTop, alClient);
    splitter->SetControlFirst(nullptr);
    EXPECT_EQ(splitter->Cursor(), crDefault);
}

TEST_F(Splitter, DragResizesTheControlOnTheBarsEdge)
{
    const struct {
        TAlign first, splitter, second;
        QPoint offset;
        QSize firstSize, secondSize;
    } cases[] = {
        { alTop, alTop, alClient, { 0, 40 }, { 400, 140 }, { 400, 157 } },
        { alTop, alTop, alClient, { 0, -40 }, { 400, 60 }, { 400, 237 } },
        { alBottom, alBottom, alClient, { 0, -40 }, { 400, 140 }, { 400, 157 } },
        { alClient, alBottom, alBottom, { 0, -40 }, { 400, 157 }, { 400, 140 } },
        { alLeft, alLeft, alClient, { 40, 0 }, { 140, 300 }, { 257, 300 } },
        { alRight, alRight, alClient, { -40, 0 }, { 140, 300 }, { 257, 300 } },
        { alClient, alRight, alRight, { -40, 0 }, { 257, 300 }, { 140, 300 } },
    };
    for (const auto& c : cases) {
        build(c.first, c.splitter, c.second);
        drag(c.offset);
        EXPECT_EQ(first->size(), c.firstSize) << c.first << " " << c.offset.x() << "," << c.offset.y();
        EXPECT_EQ(second->size(), c.secondSize);
        EXPECT_EQ(posChanged, 1);
        EXPECT_FALSE(splitter->IsTracking());
        EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    }
}

TEST_F(Splitter, ClampsToTheLimits)
{
    const struct {
        int topLeft, bottomRight, dy, firstHeight;
    } cases[] = {
        { 20, 20, -1000, 20 },
        { 20, 20, 1000, 300 - 20 - 3 },
        { 5, 5, -1000, 5 },
        { 5, 7, 1000, 300 - 7 - 3 },
        // Limits that let the bar past the edges: the size rules take over.
        { -50, 20, -1000, 1 },
        { 20, -50, 1000, 300 - 3 - 3 },
    };
    for (const auto& c : cases) {
        build(alTop, alTop, alClient);
        splitter->SetTopLeftLimit(c.topLeft);
        splitter->SetBottomRightLimit(c.bottomRight);
        drag({ 0, c.dy });
        EXPECT_EQ(first->height(), c.firstHeight) << c.topLeft << " " << c.bottomRight << " " << c.dy;
        EXPECT_EQ(splitter->geometry().top(), c.firstHeight);
    }

    build(alTop, alTop, alClient);
    mouse(QEvent::MouseButtonPress, { 1, 1 });
    mouse(QEvent::MouseMove, { 1, -500 });
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::ForbiddenCursor) << "past a limit";
    mouse(QEvent::MouseMove, { 1, 11 });
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::SplitVCursor) << "back within the limits";
    mouse(QEvent::MouseButtonRelease, { 1, 11 });
    EXPECT_EQ(first->height(), 110);
}

TEST_F(Splitter, PressAndReleaseWithoutMovementStillApplies)
{
    build(alTop, alTop, alClient);
    QList<QPoint> asked;
    splitter->OnPosChanging = TSplitter::TSplitterMoveEvent::fromFunction(
        [&](TObject*, int x, int y, bool&) { asked << QPoint(x, y); });
    mouse(QEvent::MouseButtonPress, { 2, 1 });
    EXPECT_TRUE(splitter->IsTracking());
    EXPECT_EQ(QWidget::mouseGrabber(), splitter);
    mouse(QEvent::MouseButtonRelease, { 2, 1 });
    EXPECT_EQ(asked, QList<QPoint>({ { 2, 1 } }));
    EXPECT_EQ(first->height(), 100);
    EXPECT_EQ(posChanged, 1);
}

TEST_F(Splitter, RefusedChangesKeepTheLastLine)
{
    build(alTop, alTop, alClient);
    bool allow = true;
    splitter->OnPosChanging = TSplitter::TSplitterMoveEvent::fromFunction(
        [&](TObject*, int, int, bool& allowChange) { allowChange = allow; });
    mouse(QEvent::MouseButtonPress, { 1, 1 });
    mouse(QEvent::MouseMove, { 1, 31 });
    allow = false;
    mouse(QEvent::MouseMove, { 1, 61 });
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::ForbiddenCursor);
    mouse(QEvent::MouseButtonRelease, { 1, 81 });
    EXPECT_EQ(first->height(), 130) << "the size follows the last line drawn, 30 pixels down";
    EXPECT_EQ(posChanged, 1);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(Splitter, OnlyTheLeftButtonStartsButAnyButtonEnds)
{
    build(alTop, alTop, alClient);
    mouse(QEvent::MouseButtonPress, { 1, 1 }, Qt::RightButton);
    EXPECT_FALSE(splitter->IsTracking());
    drag({ 0, 10 }, Qt::RightButton);
    EXPECT_EQ(first->height(), 110);
    EXPECT_EQ(posChanged, 1);
}

TEST_F(Splitter, EscapeCancelsAndGivesTheKeyHandlerBack)
{
    build(alTop, alTop, alClient);
    auto* editor = new QWidget(form->ClientArea());
    editor->setFocusPolicy(Qt::StrongFocus);
    form->show();
    editor->setFocus();
    QList<int> seen;
    const TKeyEvent own = TKeyEvent::fromFunction([&](TObject*, quint16& key, Qt::KeyboardModifiers) { seen << key; });
    TKeyDownHook::OnKeyDown(editor) = own;

    Application->SetShowHint(true);
    mouse(QEvent::MouseButtonPress, { 1, 1 });
    EXPECT_FALSE(Application->ShowHint()) << "no hints during the drag";
    mouse(QEvent::MouseMove, { 1, 41 });
    key(editor, Qt::Key_A);
    key(editor, Qt::Key_Escape);
    EXPECT_TRUE(Application->ShowHint());
    EXPECT_FALSE(splitter->IsTracking());
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    mouse(QEvent::MouseButtonRelease, { 1, 41 });
    EXPECT_EQ(first->height(), 100);
    EXPECT_EQ(posChanged, 0);
    EXPECT_TRUE(TKeyDownHook::OnKeyDown(editor) == own);
    EXPECT_EQ(seen, QList<int>({ 0x41 })) << "other keys reach the saved handler";
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(Splitter, MinimisingEndsTheDragWithoutApplying)
{
    build(alTop, alTop, alClient);
    form->show();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return form->isVisible(); }));
    mouse(QEvent::MouseButtonPress, { 1, 1 });
    mouse(QEvent::MouseMove, { 1, 41 });
    form->setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(splitter->IsTracking());
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    mouse(QEvent::MouseButtonRelease, { 1, 41 });
    EXPECT_EQ(first->height(), 100);
    EXPECT_EQ(posChanged, 0);
}

TEST_F(Splitter, PressWithoutAFormIsAnError)
{
    QWidget window;
    window.resize(300, 200);
    auto* top = new QWidget(&window);
    top->resize(10, 50);
    TAlignLayout::setAlign(top, alTop);
    splitter = new TSplitter(&window);
    splitter->setObjectName(QStringLiteral("Splitter9"));
    splitter->SetAlign(alTop);
    ASSERT_EQ(splitter->ControlFirst(), top) << "found as the control above the bar";
    mouse(QEvent::MouseButtonPress, { 1, 1 });
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].text, "Control 'Splitter9' has no parent window.");
    EXPECT_FALSE(splitter->IsTracking());
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
}

TEST_F(Splitter, ReferencesAndAlignment)
{
    build(alTop, alNone, alClient);
    splitter->resize(50, 40);
    splitter->SetAlign(alTop);
    EXPECT_EQ(splitter->height(), 3) << "alNone to alTop makes the bar 3 pixels high";
    splitter->SetAlign(alLeft);
    EXPECT_EQ(splitter->width(), 400) << "an edge to another edge keeps the size";

    splitter->setProperty("LimitOffset", 5);
    EXPECT_EQ(splitter->TopLeftLimit() + splitter->BottomRightLimit(), 10);
    const QMetaObject* meta = splitter->metaObject();
    EXPECT_FALSE(meta->property(meta->indexOfProperty("LimitOffset")).isStored()) << "never written";

    splitter->SetControlFirst(splitter);
    EXPECT_EQ(splitter->ControlFirst(), nullptr);
    splitter->SetControlSecond(form.get());
    EXPECT_EQ(splitter->ControlSecond(), nullptr);

    build(alTop, alTop, alClient);
    delete first;
    EXPECT_EQ(splitter->ControlFirst(), nullptr);
    EXPECT_EQ(splitter->Cursor(), crDefault);
    delete second;
    EXPECT_EQ(splitter->ControlSecond(), nullptr);
}
