#include "widgets/TAppEventList.h"
#include "widgets/TAppEvents.h"
#include "application/TApplication.h"
#include "application/TScreen.h"
#include "TestSupport.h"

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Two relay components, A created before B, over whatever the application's
// slots held before A came; each handler notes its name.
class AppEvents : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application->OnMinimize = note("previous");
        Application->OnException = TApplication::TExceptionEvent::fromFunction(
            [this](TObject*, const Exception&) { calls << "previous"; });
        a = std::make_unique<TAppEvents>(nullptr);
        b = std::make_unique<TAppEvents>(nullptr);
    }

    void TearDown() override
    {
        b.reset();
        a.reset();
        Application->ResetForTesting();
    }

    TNotifyEvent note(const QString& name)
    {
        return TNotifyEvent::fromFunction([this, name](TObject* sender) {
            calls << name;
            EXPECT_EQ(sender, Application) << "the sender is the application object";
        });
    }

    TApplication::TExceptionEvent noteException(const QString& name)
    {
        return TApplication::TExceptionEvent::fromFunction([this, name](TObject*, const Exception&) { calls << name; });
    }

    std::unique_ptr<TAppEvents> a;
    std::unique_ptr<TAppEvents> b;
    QStringList calls;
    TestSupport::MessageBoxRecorder boxes;
};

} // namespace

TEST_F(AppEvents, ChainingOfNotifyEvents)
{
    const struct {
        bool aHandles, bHandles, bChained;
        QStringList expected;
    } cases[] = {
        { true, true, true, { "B", "A", "previous" } },
        { true, true, false, { "B" } },
        { true, false, false, {} },
        { false, true, true, { "B", "previous" } },
    };
    for (const auto& c : cases) {
        a->OnMinimize = c.aHandles ? note("A") : TNotifyEvent();
        b->OnMinimize = c.bHandles ? note("B") : TNotifyEvent();
        b->SetChained(c.bChained);
        calls.clear();
        Application->OnMinimize(Application);
        EXPECT_EQ(calls, c.expected);
    }
}

TEST_F(AppEvents, ExceptionIsHandledOrShown)
{
    const struct {
        bool aHandles, bHandles, bChained, hasPrevious;
        QStringList expected;
        bool isShown;
    } cases[] = {
        { false, false, true, false, {}, true },
        { true, false, true, false, { "A" }, false },
        { true, false, false, false, {}, true },
        { false, true, false, false, { "B" }, false },
        { false, false, true, true, { "previous" }, false },
    };
    for (const auto& c : cases) {
        b.reset();
        a.reset();
        Application->OnException = c.hasPrevious ? noteException("previous") : TApplication::TExceptionEvent();
        a = std::make_unique<TAppEvents>(nullptr);
        b = std::make_unique<TAppEvents>(nullptr);
        a->OnException = c.aHandles ? noteException("A") : TApplication::TExceptionEvent();
        b->OnException = c.bHandles ? noteException("B") : TApplication::TExceptionEvent();
        b->SetChained(c.bChained);
        calls.clear();
        const qsizetype shownBefore = boxes.boxes().size();
        guarded(nullptr, [] { throw Exception(QStringLiteral("File access denied")); });
        EXPECT_EQ(calls, c.expected);
        EXPECT_EQ(boxes.boxes().size() - shownBefore, c.isShown ? 1 : 0);
    }
    EXPECT_EQ(boxes.boxes().first().text, "File access denied.");
}

TEST_F(AppEvents, MessageStopsWhenHandled)
{
    Application->ResetForTesting();
    b.reset();
    a.reset();
    // Every event of the program passes the relay; only the user event's
    // walks are noted.
    const auto noteUserEvent = [this](const QString& name, bool* handles = nullptr) {
        return TApplication::TMessageEvent::fromFunction([this, name, handles](TMsg& message, bool& handled) {
            if (message.Event->type() != QEvent::User)
                return;
            calls << name;
            if (handles)
                handled = *handles;
        });
    };
    bool bHandles = false;
    Application->OnMessage = noteUserEvent("previous");
    a = std::make_unique<TAppEvents>(nullptr);
    b = std::make_unique<TAppEvents>(nullptr);
    a->OnMessage = noteUserEvent("A");
    b->OnMessage = noteUserEvent("B", &bHandles);
    QObject receiver;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&receiver, &event);
    bHandles = true;
    QCoreApplication::sendEvent(&receiver, &event);
    EXPECT_EQ(calls, QStringList({ "B", "A", "previous", "B" }));
    a->OnMessage = {};
    b->OnMessage = {};
}

TEST_F(AppEvents, HelpGivesTheLastAnswerAndIdleSharesDone)
{
    a->OnHelp = TApplication::THelpEvent::fromFunction([](quint16, qint32, bool&, bool& result) { result = true; });
    b->OnHelp = TApplication::THelpEvent::fromFunction([](quint16, qint32, bool&, bool& result) { result = false; });
    EXPECT_TRUE(Application->HelpCommand(1, 2)) << "A answers last";
    b->SetChained(false);
    EXPECT_FALSE(Application->HelpCommand(1, 2));

    b->SetChained(true);
    b->OnIdle = TApplication::TIdleEvent::fromFunction([](TObject*, bool& done) { done = false; });
    bool seenByA = true;
    a->OnIdle = TApplication::TIdleEvent::fromFunction([&](TObject*, bool& done) { seenByA = done; });
    bool done = true;
    Application->OnIdle(Application, done);
    EXPECT_FALSE(seenByA);
    EXPECT_FALSE(done);
}

TEST_F(AppEvents, TheLastComponentLeavesTheSlotsEmpty)
{
    EXPECT_TRUE(Application->OnMinimize) << "the relay sits in the slot";
    b.reset();
    EXPECT_TRUE(Application->OnMinimize);
    a.reset();
    EXPECT_FALSE(Application->OnMinimize) << "the previous handler is not put back";
    EXPECT_FALSE(Application->OnException);
    EXPECT_FALSE(Application->OnMessage);
    EXPECT_FALSE(Screen->OnActiveFormChange);
    EXPECT_EQ(TAppEventList::Instance()->Components().size(), 0);

    a = std::make_unique<TAppEvents>(nullptr);
    a->OnMinimize = note("A");
    Application->OnMinimize(Application);
    EXPECT_EQ(calls, QStringList({ "A" })) << "a new first component installs the relays anew";
}

TEST_F(AppEvents, SettingsMirrorTheApplication)
{
    a->SetHintPause(800);
    EXPECT_EQ(Application->HintPause(), 800);
    Application->SetHintPause(300);
    EXPECT_EQ(a->HintPause(), 300) << "read from the application object";
    EXPECT_EQ(b->HintPause(), 300);
    b->Loaded();
    EXPECT_EQ(Application->HintPause(), 500) << "loading copies the component's own values";
    EXPECT_TRUE(Application->ShowMainForm());

    int changes = 0;
    b->OnSettingsChanged = TNotifyEvent::fromFunction([&](TObject* sender) {
        ++changes;
        EXPECT_EQ(sender, b.get());
        throw Exception(QStringLiteral("settings"));
    });
    TMessage message { Messages::WM_WININICHANGE, 0, 0, 0 };
    Application->WndProc(message);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(calls, QStringList({ "previous" })) << "handed to the exception handling, not escaped";
}

TEST_F(AppEvents, HintsComeFromToolTips)
{
    QWidget window;
    auto* control = new QWidget(&window);
    control->setToolTip(QStringLiteral("the bar"));
    window.show();
    QStringList shown;
    bool canShow = true;
    b->OnShowHint = TApplication::TShowHintEvent::fromFunction([&](QString& text, bool& show, THintInfo& info) {
        shown << text;
        EXPECT_EQ(info.HintControl, control);
        show = canShow;
    });
    a->OnHint = note("hint");
    const auto askForToolTip = [&] {
        QHelpEvent event(QEvent::ToolTip, QPoint(1, 1), control->mapToGlobal(QPoint(1, 1)));
        QApplication::sendEvent(control, &event);
    };
    askForToolTip();
    EXPECT_EQ(shown, QStringList({ "the bar" }));
    EXPECT_EQ(calls, QStringList({ "hint" })) << "the hint changed once";
    canShow = false;
    askForToolTip();
    EXPECT_TRUE(TestSupport::waitUntil([] { return !QToolTip::isVisible(); }, 3000));
    Application->SetShowHint(false);
    askForToolTip();
    EXPECT_EQ(shown.size(), 2) << "no hints while they are switched off";
    Application->SetShowHint(true);
}

TEST_F(AppEvents, DesktopChangesRaiseSettingsChangedOnce)
{
    int changes = 0;
    a->OnSettingsChanged = TNotifyEvent::fromFunction([&](TObject*) { ++changes; });
    const QPalette palette = QApplication::palette();
    const QFont font = QApplication::font();
    QPalette dark = palette;
    dark.setColor(QPalette::Window, Qt::black);
    QFont larger = font;
    larger.setPointSize(font.pointSize() + 2);
    QApplication::setPalette(dark);
    QApplication::setFont(larger);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return changes > 0; }));
    TestSupport::pump(50); // a second notice would come within this
    EXPECT_EQ(changes, 1);
    QApplication::setPalette(palette);
    QApplication::setFont(font);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return changes > 1; }));
    TestSupport::pump(50);
    EXPECT_EQ(changes, 2);
}
