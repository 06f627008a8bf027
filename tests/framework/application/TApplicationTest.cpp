#include "application/TApplication.h"
#include "controls/TForm.h"
#include "core/TTimer.h"
#include "TestSupport.h"

#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <utility>

namespace {

class Notifications : public QObject {
public:
    void minimized(TObject*) { log << "minimize"; }
    void restored(TObject*) { log << "restore"; }
    void exception(TObject*, const Exception& e) { log << "handler:" + e.Message(); }
    void hookA(TMessage& m, bool&) { log << QStringLiteral("A%1").arg(m.Msg); }
    void hookB(TMessage& m, bool& handled)
    {
        log << QStringLiteral("B%1").arg(m.Msg);
        handled = true;
    }
    QStringList log;
};

class TApplicationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application->ResetForTesting();
        Application->OnMinimize = TNotifyEvent(&notes, &Notifications::minimized);
        Application->OnRestore = TNotifyEvent(&notes, &Notifications::restored);
    }
    void TearDown() override { Application->ResetForTesting(); }

    template <class E>
    void raiseInHandler(E e)
    {
        guarded(Application, [&] { throw e; });
    }

    // The application's main form, shown, noting its close query and close.
    static TForm* showFormRecordingItsClose(QStringList& seen)
    {
        TForm* form = nullptr;
        Application->CreateForm(form);
        form->show();
        form->OnCloseQuery = TForm::TCloseQueryEvent::fromFunction([&seen](TObject*, bool&) { seen << "query"; });
        form->OnClose = TForm::TCloseEvent::fromFunction([&seen](TObject*, TForm::TCloseAction&) { seen << "close"; });
        return form;
    }

    Notifications notes;
    TestSupport::MessageBoxRecorder boxes;
};

} // namespace

TEST_F(TApplicationTest, MinimiseAndRestoreNotifyOncePerRealChange)
{
    TForm* form = nullptr;
    Application->CreateForm(form);
    form->show();
    Application->Restore();
    EXPECT_TRUE(notes.log.isEmpty()) << "restore while not minimised";
    Application->Minimize();
    Application->Minimize();
    EXPECT_EQ(notes.log, QStringList({ "minimize" }));
    EXPECT_TRUE(form->isMinimized());
    Application->Restore();
    Application->Restore();
    EXPECT_EQ(notes.log, QStringList({ "minimize", "restore" }));
    EXPECT_FALSE(form->isMinimized());
}

TEST_F(TApplicationTest, WindowManagerMinimiseGoesThroughTheApplication)
{
    TForm* form = nullptr;
    Application->CreateForm(form);
    form->show();
    form->showMinimized();
    EXPECT_TRUE(Application->IsMinimized());
    form->showNormal();
    EXPECT_FALSE(Application->IsMinimized());
    EXPECT_EQ(notes.log, QStringList({ "minimize", "restore" }));
}

TEST_F(TApplicationTest, ExceptionsAreShownWithAPeriodTheTitleAndTheStopIcon)
{
    Application->SetTitle(QStringLiteral("Tamsel"));
    raiseInHandler(Exception(QStringLiteral("File access denied")));
    raiseInHandler(Exception(QStringLiteral("Ends with a period.")));
    raiseInHandler(EAbort(QStringLiteral("silent")));
    ASSERT_EQ(boxes.boxes().size(), 2);
    EXPECT_EQ(boxes.boxes()[0].text, "File access denied.");
    EXPECT_EQ(boxes.boxes()[0].caption, "Tamsel");
    EXPECT_EQ(boxes.boxes()[0].flags, TApplication::MB_OK | TApplication::MB_ICONERROR);
    EXPECT_EQ(boxes.boxes()[1].text, "Ends with a period..");
}

TEST_F(TApplicationTest, InstalledHandlerReplacesTheBox)
{
    Application->OnException = TApplication::TExceptionEvent(&notes, &Notifications::exception);
    raiseInHandler(Exception(QStringLiteral("x")));
    EXPECT_TRUE(boxes.boxes().isEmpty());
    EXPECT_EQ(notes.log, QStringList({ "handler:x" }));
}

TEST_F(TApplicationTest, ForeignExceptionGetsTheLowLevelReport)
{
    raiseInHandler(std::runtime_error("bad"));
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].caption, "Application Error");
    EXPECT_TRUE(boxes.boxes()[0].text.startsWith("Exception std::runtime_error in module ")) << boxes.boxes()[0].text.toStdString();
    EXPECT_TRUE(boxes.boxes()[0].text.endsWith(".\n"));
}

TEST_F(TApplicationTest, ExceptionInAQtEventHandlerDoesNotEscape)
{
    TForm* form = nullptr;
    Application->CreateForm(form);
    form->OnResize = TNotifyEvent::fromFunction([](TObject*) { throw Exception(QStringLiteral("resize failed")); });
    form->show();
    form->resize(300, 200);
    TestSupport::waitUntil([&] { return !boxes.boxes().isEmpty(); });
    ASSERT_FALSE(boxes.boxes().isEmpty());
    EXPECT_EQ(boxes.boxes()[0].text, "resize failed.");
}

TEST_F(TApplicationTest, HooksSeeMessagesInRegistrationOrderUntilOneHandlesIt)
{
    const TApplication::TMessageHook a(&notes, &Notifications::hookA);
    const TApplication::TMessageHook b(&notes, &Notifications::hookB);
    Application->HookMainWindow(a);
    Application->HookMainWindow(b);
    TMessage minimize { Messages::WM_SYSCOMMAND, Messages::SC_MINIMIZE, 0, 0 };
    Application->WndProc(minimize);
    EXPECT_EQ(notes.log, QStringList({ "A274", "B274" })) << "B handled it: no minimise";

    Application->UnhookMainWindow(TApplication::TMessageHook(&notes, &Notifications::hookB));
    notes.log.clear();
    Application->WndProc(minimize);
    EXPECT_EQ(notes.log, QStringList({ "A274", "minimize" }));
}

TEST_F(TApplicationTest, ClosingTheMainWindowEndsTheLoopAlthoughItOnlyHides)
{
    TForm* form = nullptr;
    Application->CreateForm(form);
    TForm::TCloseAction seen = TForm::caNone;
    form->OnClose = TForm::TCloseEvent::fromFunction([&](TObject*, TForm::TCloseAction& action) { seen = action; });
    QTimer::singleShot(50, form, [form] { form->Close(); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    watchdog.callOnTimeout([] { Application->Terminate(); });
    watchdog.start(10000);
    Application->Run();
    EXPECT_TRUE(watchdog.isActive()) << "the loop ran until the watchdog";
    EXPECT_EQ(seen, TForm::caHide);
    EXPECT_TRUE(Application->Terminated());
}

TEST_F(TApplicationTest, DefaultTitleComesFromTheExecutableName)
{
    EXPECT_EQ(TApplication::DefaultTitle(QStringLiteral("/opt/x/TamSEL.Bin")), "Tamsel");
    EXPECT_EQ(TApplication::DefaultTitle(QStringLiteral("/opt/x.y/tamsel")), "tamsel");
    EXPECT_EQ(TApplication::DefaultTitle(QStringLiteral("/opt/x/a.b.c")), "a");
}

TEST_F(TApplicationTest, TimersKeepTickingBehindAModalMessageBox)
{
    Application->SetMessageBoxPresenter({});
    TTimer timer(nullptr);
    int ticks = 0;
    timer.SetInterval(10);
    timer.SetOnTimer(TNotifyEvent::fromFunction([&](TObject*) {
        ++ticks;
        if (ticks == 5) {
            if (QWidget* box = QApplication::activeModalWidget())
                box->close();
        }
    }));
    QTimer closer; // closes the box should the ticks stop
    closer.setSingleShot(true);
    closer.callOnTimeout([] {
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    closer.start(5000);
    EXPECT_EQ(Application->MessageBox(QStringLiteral("text"), QStringLiteral("caption"), TApplication::MB_OK),
        TApplication::IDOK);
    EXPECT_GE(ticks, 5) << "ticks stopped while the box was shown";
    EXPECT_TRUE(closer.isActive());
}

TEST_F(TApplicationTest, LogOffRunsTheCloseQueryButDoesNotClose)
{
    QStringList seen;
    TForm* form = showFormRecordingItsClose(seen);
    TMessage query { Messages::WM_QUERYENDSESSION, 0, 0, 0 };
    Application->WndProc(query);
    EXPECT_EQ(seen, QStringList({ "query" }));
    EXPECT_EQ(query.Result, 1);
    EXPECT_TRUE(form->isVisible());
}

// A minimise (Esc) whose hand-over takes a while, and a restore by the window
// manager at once, in every order that the window system can deliver: the
// window unmapped (u) and mapped (m) again, the toolkit's reports of the
// minimised (i) and normal (n) state, some of them while the hand-over still
// copies. The application ends restored, having handed over once each way, and
// the next Esc minimises again.
TEST_F(TApplicationTest, MinimisedStateFollowsTheWindowInEveryOrderOfEvents)
{
    const struct {
        const char* duringHandOver;
        const char* afterHandOver;
        bool restored;
    } cases[] = {
        { "", "uinm", true },
        { "", "um", true }, // the toolkit saw the state property only once it was normal again
        { "um", "", true },
        { "u", "m", true },
        { "uin", "m", true },
        { "", "n", true }, // a restore without unmapping, as without a window manager
        { "n", "", true },
        { "", "m", false }, // mapped without having been unmapped: not restored yet
        { "", "ui", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.duringHandOver) + "|" + c.afterHandOver);
        Application->ResetForTesting();
        Application->OnRestore = TNotifyEvent(&notes, &Notifications::restored);
        notes.log.clear();
        TForm* form = nullptr;
        Application->CreateForm(form);
        form->show();
        auto replay = [form](const char* steps) {
            for (const char* step = steps; *step; ++step) {
                switch (*step) {
                case 'u': form->WindowExposureChanged(false); break;
                case 'm': form->WindowExposureChanged(true); break;
                case 'i': form->setWindowState(form->windowState() | Qt::WindowMinimized); break;
                case 'n': form->setWindowState(form->windowState() & ~Qt::WindowMinimized); break;
                }
            }
        };
        bool handingOver = false;
        const char* duringHandOver = c.duringHandOver;
        Application->OnMinimize = TNotifyEvent::fromFunction([&](TObject*) {
            handingOver = true;
            replay(std::exchange(duringHandOver, ""));
            handingOver = false;
            notes.log << "minimize";
        });
        Application->OnRestore = TNotifyEvent::fromFunction([&](TObject*) {
            notes.log << (handingOver ? "restore inside the minimise" : "restore");
        });

        Application->Minimize();
        replay(c.afterHandOver);
        EXPECT_EQ(notes.log, c.restored ? QStringList({ "minimize", "restore" }) : QStringList({ "minimize" }));
        EXPECT_EQ(Application->IsMinimized(), !c.restored);
        EXPECT_EQ(form->isMinimized(), !c.restored);
        if (c.restored) {
            Application->Minimize();
            EXPECT_EQ(notes.log.size(), 3) << "Esc minimises again";
        }
    }
}

// A message box raised while a form is destroyed (its settings could not be
// saved) would run an event loop inside the destruction, in which the form's
// own timer ticks on a half-destroyed window. The box waits until the form is
// gone, whether the application object or another owner deletes the form.
TEST_F(TApplicationTest, NoEventLoopRunsWhileAFormIsDestroyed)
{
    for (const bool byApplication : { true, false }) {
        SCOPED_TRACE(byApplication ? "destroyed by the application" : "deleted directly");
        Application->ResetForTesting();
        TForm* form = nullptr;
        Application->CreateForm(form);
        auto* timer = new TTimer(form);
        timer->SetInterval(1);
        bool isDestroying = false;
        int ticksWhileDestroying = 0;
        timer->SetOnTimer(TNotifyEvent::fromFunction([&](TObject*) { ticksWhileDestroying += isDestroying; }));
        form->OnDestroy = TNotifyEvent::fromFunction([&](TObject*) {
            isDestroying = true;
            throw Exception(QStringLiteral("Unable to write to x"));
        });
        const QPointer<TForm> watched(form);
        int boxes = 0;
        bool formWasGone = false;
        Application->SetMessageBoxPresenter([&](const QString&, const QString&, int) {
            ++boxes;
            formWasGone = watched.isNull();
            TestSupport::pump(30); // as long as a user reads the box
            return TApplication::IDOK;
        });
        if (byApplication)
            Application->DestroyForms();
        else
            delete form;
        TestSupport::waitUntil([&] { return boxes > 0; }, 2000);
        EXPECT_EQ(boxes, 1);
        EXPECT_TRUE(formWasGone);
        EXPECT_EQ(ticksWhileDestroying, 0);
    }
}

// A signal to end runs the same close as Exit: the close query (which saves
// the settings) and the close handler (which copies the text), then the end.
TEST_F(TApplicationTest, TerminationSignalsCloseTheMainWindowAsExitDoes)
{
    for (const int signalNumber : { SIGTERM, SIGHUP, SIGINT }) {
        SCOPED_TRACE(signalNumber);
        Application->ResetForTesting();
        QStringList seen;
        showFormRecordingItsClose(seen);
        Application->HandleTerminationSignals();
        QTimer watchdog;
        watchdog.setSingleShot(true);
        watchdog.callOnTimeout([] { Application->Terminate(); });
        watchdog.start(5000);
        QTimer::singleShot(0, [signalNumber] { ::raise(signalNumber); });
        Application->Run();
        EXPECT_TRUE(watchdog.isActive()) << "the signal did not end the loop";
        EXPECT_EQ(seen, QStringList({ "query", "close" }));
    }
}
