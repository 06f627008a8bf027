#include "app/RunningInstance.h"
#include "application/TApplication.h"
#include "platform/TInstanceChannel.h"
#include "TestSupport.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include <signal.h>

namespace {

// This process plays the running copy under a class name of its own, so it
// never meets a real copy of the program or another test process.
const QString TestTitle = QStringLiteral("Tamsel");

QString testClassName()
{
    return QStringLiteral("TSecondInstanceTest%1").arg(QCoreApplication::applicationPid());
}

// Claims the name once, as the program does at its start, then answers with
// the given handlers.
void serveAsRunningCopy(RunningInstanceHandlers handlers)
{
    static const bool isClaimed = !ActivateRunningInstance(testClassName(), TestTitle);
    ASSERT_TRUE(isClaimed);
    ASSERT_TRUE(ServeRunningInstanceRequests(std::move(handlers)));
}

struct SecondStartOutcome {
    bool result = false;
    bool wasRestoredOnReturn = false;
};

// A second start from another thread, standing in for another process, while
// this thread's event loop answers it.
SecondStartOutcome startSecondCopy(const std::atomic<bool>& restored)
{
    auto secondStart = std::async(std::launch::async, [&restored] {
        const bool result = ActivateRunningInstance(testClassName(), TestTitle);
        return SecondStartOutcome { result, restored.load() };
    });
    EXPECT_TRUE(TestSupport::waitUntil(
        [&] { return secondStart.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 60000));
    return secondStart.get();
}

// Handlers that answer as a running copy in the given state and record what
// the second start asked, in order.
struct RecordingHandlers {
    QString topWindowClass = QStringLiteral("TApplication");
    bool hasDesignerWindow = false;
    bool isMinimized = false;
    QStringList asked;
    std::atomic<bool> restored = false;

    RunningInstanceHandlers handlers()
    {
        RunningInstanceHandlers h;
        h.topWindowClass = [this] { asked << "topWindowClass"; return topWindowClass; };
        h.hasDesignerWindow = [this] { asked << "hasDesignerWindow"; return hasDesignerWindow; };
        h.isMinimized = [this] { asked << "isMinimized"; return isMinimized; };
        h.restore = [this] { asked << "restore"; restored = true; };
        h.showWithoutActivation = [this] { asked << "showWithoutActivation"; };
        h.bringForward = [this] { asked << "bringForward"; };
        h.bringLastActivePopupForward = [this] { asked << "bringLastActivePopupForward"; };
        return h;
    }
};

} // namespace

TEST(SecondInstance, FollowsTheCheckForEachStateOfTheRunningCopy)
{
    struct Case {
        const char* what;
        QString topWindowClass;
        bool hasDesignerWindow;
        bool isMinimized;
        bool expectedResult;
        QStringList expectedAsked;
    };
    const std::vector<Case> cases = {
        { "shown normally", "TApplication", false, false, true,
            { "topWindowClass", "hasDesignerWindow", "isMinimized", "showWithoutActivation", "bringLastActivePopupForward" } },
        { "minimised: restored, no pop-up", "TApplication", false, true, true,
            { "topWindowClass", "hasDesignerWindow", "isMinimized", "restore" } },
        { "beside a form designer: not taken", "TApplication", true, false, false,
            { "topWindowClass", "hasDesignerWindow" } },
        { "top window of another kind", "TForm1", false, false, true,
            { "topWindowClass", "bringForward", "bringLastActivePopupForward" } },
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingHandlers running;
        running.topWindowClass = c.topWindowClass;
        running.hasDesignerWindow = c.hasDesignerWindow;
        running.isMinimized = c.isMinimized;
        serveAsRunningCopy(running.handlers());

        const SecondStartOutcome second = startSecondCopy(running.restored);
        EXPECT_EQ(second.result, c.expectedResult);
        EXPECT_EQ(running.asked, c.expectedAsked);
        // The restore is handled before the second start ends.
        EXPECT_EQ(second.wasRestoredOnReturn, c.isMinimized && !c.hasDesignerWindow);
    }
}

TEST(SecondInstance, AHolderThatNeverListensStillCountsAsRunning)
{
    // A copy that claimed the name and then hangs before it listens: the
    // second start gives up waiting and ends as if it had found it, without
    // taking the name over.
    const QString className = testClassName() + QStringLiteral("Hung");
    TInstanceChannel holder(TInstanceChannel::nameFor(className, TestTitle));
    ASSERT_EQ(holder.connectOrClaim(QDeadlineTimer(5000)), TInstanceChannel::Reach::Claimed);
    SetListenerWaitForTesting(300);
    EXPECT_TRUE(ActivateRunningInstance(className, TestTitle));
    SetListenerWaitForTesting(0);
    EXPECT_TRUE(holder.isClaimed());
}

TEST(SecondInstance, AFailingHandlerIsReportedAndTheRunningCopyStillCounts)
{
    QStringList reported;
    Application->OnException = TApplication::TExceptionEvent::fromFunction(
        [&reported](TObject*, const Exception& e) { reported << e.Message(); });

    RecordingHandlers running;
    RunningInstanceHandlers failing = running.handlers();
    failing.showWithoutActivation = [] { throw EOutOfResources(QStringLiteral("no window")); };
    serveAsRunningCopy(failing);
    EXPECT_TRUE(startSecondCopy(running.restored).result);
    EXPECT_EQ(reported, QStringList { "no window" });

    Application->OnException = {};
}

namespace {

// The built program in a folder of its own, since it writes its preview and
// settings files beside itself.
class ProgramCopy {
public:
    ProgramCopy()
    {
        m_path = m_folder.filePath(QFileInfo(QStringLiteral(TAMSEL_EXECUTABLE)).fileName());
        m_isReady = m_folder.isValid() && QFile::copy(QStringLiteral(TAMSEL_EXECUTABLE), m_path)
            && QFile::setPermissions(m_path, QFile::permissions(QStringLiteral(TAMSEL_EXECUTABLE)));
    }

    ~ProgramCopy()
    {
        for (auto& process : m_processes)
            process->kill();
        killStrays();
        for (auto& process : m_processes) {
            if (process->state() != QProcess::NotRunning)
                process->waitForFinished(10000);
        }
    }

    bool isReady() const { return m_isReady; }
    QString filePath(const QString& name) const { return m_folder.filePath(name); }

    QProcess& start(const QStringList& arguments = {})
    {
        auto& process = m_processes.emplace_back(std::make_unique<QProcess>());
        process->setProgram(m_path);
        process->setArguments(arguments);
        process->setWorkingDirectory(m_folder.path());
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start();
        return *process;
    }

private:
    // A copy killed while its browser engine forks a helper can leave that
    // helper behind, spinning on a lock no thread will release; everything
    // still running this copy's file goes too.
    void killStrays()
    {
        const QString program = QFileInfo(m_path).canonicalFilePath();
        const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& pid : pids) {
            if (QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget() == program)
                ::kill(pid.toInt(), SIGKILL);
        }
    }

    QTemporaryDir m_folder;
    QString m_path;
    bool m_isReady = false;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// Starting the program, with its web view, takes seconds; with sanitizers more.
constexpr int StartTimeoutMs = 90000;
// A second start waits for a starting copy to listen, then for its answers.
constexpr int SecondStartTimeoutMs = 60000;

QString programChannelName()
{
    return TInstanceChannel::nameFor(QStringLiteral("TKelvaneMainForm"), QStringLiteral("Tamsel"));
}

bool isProgramServing(int timeoutMs)
{
    return TestSupport::waitUntil(
        [] { return TInstanceChannel(programChannelName()).connectToOwner(QDeadlineTimer(100)); }, timeoutMs);
}

bool endsWith(QProcess& process, int exitCode)
{
    // QProcess::waitForFinished() is false for a process that has already ended.
    const bool ended = process.state() == QProcess::NotRunning || process.waitForFinished(SecondStartTimeoutMs);
    EXPECT_TRUE(ended) << "still running";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), exitCode);
    return ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == exitCode;
}

// The instance name lives in the temp folder, so each test gets a temp folder
// of its own: the copies it starts never meet a copy the user runs or one of
// another test run on this machine. The short name keeps socket paths short.
class SecondStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tempFolder.isValid());
        m_savedTempFolder = qEnvironmentVariableIsSet("TMPDIR") ? std::optional(qgetenv("TMPDIR")) : std::nullopt;
        qputenv("TMPDIR", QFile::encodeName(m_tempFolder.path()));
        m_savedRuntimeFolder = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR") ? std::optional(qgetenv("XDG_RUNTIME_DIR")) : std::nullopt;
        qunsetenv("XDG_RUNTIME_DIR");
    }

    void TearDown() override
    {
        if (m_savedTempFolder)
            qputenv("TMPDIR", *m_savedTempFolder);
        else
            qunsetenv("TMPDIR");
        if (m_savedRuntimeFolder)
            qputenv("XDG_RUNTIME_DIR", *m_savedRuntimeFolder);
    }

private:
    QTemporaryDir m_tempFolder { QDir::tempPath() + QStringLiteral("/tsi-XXXXXX") };
    std::optional<QByteArray> m_savedTempFolder;
    std::optional<QByteArray> m_savedRuntimeFolder;
};

} // namespace

TEST_F(SecondStart, EndsWithExitCodeOneFromAnyFolderWhileACopyRuns)
{
    ProgramCopy first;
    ProgramCopy elsewhere;
    ASSERT_TRUE(first.isReady() && elsewhere.isReady());

    QProcess& running = first.start();
    ASSERT_TRUE(TestSupport::waitUntil(
        [] { return TInstanceChannel(programChannelName()).claim() == TInstanceChannel::Reach::Taken; },
        StartTimeoutMs));
    // Started before the first copy has its window: it waits for it.
    endsWith(elsewhere.start(), 1);
    ASSERT_TRUE(isProgramServing(StartTimeoutMs));
    endsWith(first.start(), 1);

    EXPECT_EQ(running.state(), QProcess::Running);
    EXPECT_TRUE(isProgramServing(0));
}

TEST_F(SecondStart, CopiesStartedTogetherNeverBothRun)
{
    std::vector<std::unique_ptr<ProgramCopy>> copies;
    std::vector<QProcess*> processes;
    for (int i = 0; i < 3; ++i) {
        copies.push_back(std::make_unique<ProgramCopy>());
        ASSERT_TRUE(copies.back()->isReady());
    }
    for (auto& copy : copies)
        processes.push_back(&copy->start());

    auto running = [&] {
        return std::count_if(processes.begin(), processes.end(),
            [](QProcess* p) { return p->state() != QProcess::NotRunning; });
    };
    ASSERT_TRUE(TestSupport::waitUntil([&] { return running() <= 1; }, StartTimeoutMs + SecondStartTimeoutMs));
    for (QProcess* process : processes) {
        if (process->state() == QProcess::NotRunning) {
            EXPECT_TRUE(endsWith(*process, 1));
        }
    }
    EXPECT_EQ(running(), 1);
    EXPECT_TRUE(isProgramServing(StartTimeoutMs));
}

TEST_F(SecondStart, AKilledCopyDoesNotBlockTheNextStart)
{
    ProgramCopy copy;
    ASSERT_TRUE(copy.isReady());
    QProcess& crashed = copy.start();
    ASSERT_TRUE(isProgramServing(StartTimeoutMs));
    crashed.kill();
    ASSERT_TRUE(crashed.waitForFinished(10000)) << "state " << crashed.state() << ", exit code " << crashed.exitCode();
    // What the killed copy left behind.
    ASSERT_TRUE(QFileInfo::exists(TInstanceChannel(programChannelName()).socketPath()));
    ASSERT_TRUE(QFileInfo::exists(TInstanceChannel(programChannelName()).lockFilePath()));

    QProcess& next = copy.start();
    ASSERT_TRUE(isProgramServing(StartTimeoutMs));
    EXPECT_EQ(next.state(), QProcess::Running);
    endsWith(copy.start(), 1);
}

TEST_F(SecondStart, RegistrationSwitchesEndAtOnceWithoutAWindow)
{
    ProgramCopy copy;
    ASSERT_TRUE(copy.isReady());
    for (const QString& argument : { QStringLiteral("/REGSERVER"), QStringLiteral("-unregserver") }) {
        endsWith(copy.start({ argument }), 0);
        EXPECT_FALSE(QFileInfo::exists(copy.filePath(QStringLiteral("tamsel.tex"))))
            << "no main window, so no refresh: " << argument.toStdString();
    }
    QProcess& running = copy.start();
    ASSERT_TRUE(isProgramServing(StartTimeoutMs));
    EXPECT_TRUE(endsWith(copy.start({ QStringLiteral("/REGSERVER") }), 1)) << "a running copy is activated first";
    EXPECT_EQ(running.state(), QProcess::Running);
}

// A copy killed on a desktop without a clipboard manager takes its clipboard
// with it; the next start gets back the text of that copy instead of writing
// the preview file empty, also when a reboot has emptied the runtime folder.
// A start with text on the clipboard pastes as always.
TEST_F(SecondStart, AStartAfterACrashKeepsThePreviewFileWhenTheClipboardHasNoText)
{
    ProgramCopy copy;
    ASSERT_TRUE(copy.isReady());
    const QString preview = copy.filePath(QStringLiteral("tamsel.tex"));
    const struct {
        const char* what;
        bool hasText;
        bool isRebooted;
        QByteArray expected;
    } cases[] = {
        { "no copy ran before: written empty", false, false, "" },
        { "text on the clipboard: pasted", true, false, "x^2\r\n+1" },
        { "after a crash and a reboot, empty clipboard: kept", false, true, "x^2\r\n+1" },
    };
    QFile stale(preview);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly) && stale.write("stale") == 5);
    stale.close();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.hasText)
            QGuiApplication::clipboard()->setText(QStringLiteral("x^2\n+1"));
        else
            QGuiApplication::clipboard()->clear();
        if (c.isRebooted)
            QFile::remove(TInstanceChannel(programChannelName()).lockFilePath());

        QProcess& running = copy.start();
        ASSERT_TRUE(isProgramServing(StartTimeoutMs));
        EXPECT_EQ(TestSupport::readFile(preview), c.expected);
        running.kill();
        ASSERT_TRUE(running.waitForFinished(10000));
    }
}

// A start after a crash of a copy that had text, with other text on the
// clipboard: the editor (and so the preview file) has the clipboard's text
// alone, and the crashed copy's text is kept aside, the user's alone.
TEST_F(SecondStart, AStartAfterACrashWithTextOnTheClipboardKeepsTheCrashedTextAside)
{
    ProgramCopy copy;
    ASSERT_TRUE(copy.isReady());
    QGuiApplication::clipboard()->setText(QStringLiteral("typed before the crash"));
    QProcess& crashed = copy.start();
    ASSERT_TRUE(isProgramServing(StartTimeoutMs));
    const QDir folder(copy.filePath(QString()));
    const auto records = [&](const QString& pattern) { return folder.entryList({ pattern }, QDir::Files); };
    ASSERT_TRUE(TestSupport::waitUntil([&] {
        const QStringList running = records(QStringLiteral("tamsel.tex.*.running"));
        return running.size() == 1 && TestSupport::readFile(folder.filePath(running.first())) == "typed before the crash";
    }));
    crashed.kill();
    ASSERT_TRUE(crashed.waitForFinished(10000));

    QGuiApplication::clipboard()->setText(QStringLiteral("x^2"));
    QProcess& next = copy.start();
    ASSERT_TRUE(isProgramServing(StartTimeoutMs));
    EXPECT_EQ(TestSupport::readFile(copy.filePath(QStringLiteral("tamsel.tex"))), "x^2");
    const QStringList aside = records(QStringLiteral("tamsel.tex.*.crashed-*"));
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(TestSupport::readFile(folder.filePath(aside.first())), "typed before the crash");
    EXPECT_EQ(QFile::permissions(folder.filePath(aside.first())),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    next.kill();
    ASSERT_TRUE(next.waitForFinished(10000));
}
