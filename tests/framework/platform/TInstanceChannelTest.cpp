#include "application/TApplication.h"
#include "platform/TInstanceChannel.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Names of this test process only, so that tests running in parallel never meet.
QString uniqueName()
{
    static int counter = 0;
    return TInstanceChannel::nameFor(
        QStringLiteral("TInstanceChannelTest%1x%2").arg(QCoreApplication::applicationPid()).arg(++counter),
        QStringLiteral("Tamsel"));
}

// Another process starting like a copy of the program (InstancePeer.cpp).
class Peer {
public:
    Peer(const QString& name, int listenDelayMs, std::function<void()> childSetUp = {})
    {
        if (childSetUp)
            m_process.setChildProcessModifier(childSetUp);
        m_process.start(QStringLiteral(TAMSEL_INSTANCE_PEER), { name, QString::number(listenDelayMs) });
    }

    ~Peer()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
        // Take over what the killed peer left in the temp folder, then let go.
        TInstanceChannel leftovers(m_process.arguments().value(0));
        if (leftovers.claim() == TInstanceChannel::Reach::Claimed)
            QLocalServer::removeServer(leftovers.socketPath());
    }

    // QProcess passes written bytes on only from its event loop or a wait.
    void go()
    {
        m_process.write("go\n");
        EXPECT_TRUE(m_process.waitForBytesWritten(10000));
    }

    // Waits for the peer to print the line; false when it ends first.
    bool waitForLine(const QByteArray& expected, int timeoutMs = 15000)
    {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            while (m_process.canReadLine()) {
                const QByteArray line = m_process.readLine().trimmed();
                m_output += line + '\n';
                if (line == expected)
                    return true;
            }
            if (deadline.hasExpired() || !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
                return false;
        }
    }

    QByteArray output() { return m_output + m_process.readAllStandardOutput(); }
    QByteArray pong() const { return "pong " + QByteArray::number(m_process.processId()); }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QByteArray m_output;
};

} // namespace

TEST(TInstanceChannel, NamesAreSharedByEveryCopyAndUsableAsSocketPaths)
{
    const QString name = TInstanceChannel::nameFor(QStringLiteral("TKelvaneMainForm"), QStringLiteral("Tamsel"));
    EXPECT_TRUE(name.startsWith(QStringLiteral("TKelvaneMainForm-Tamsel-%1-").arg(::getuid()))) << name.toStdString();

    // Texts that look alike once made safe or cut short stay apart.
    const QString longPrefix(300, u'L');
    const std::vector<std::pair<QString, QString>> distinct = {
        { "a-b", "c" }, { "a", "b-c" }, { "a/b", "c" }, { "a_b", "c" },
        { longPrefix + "1", "t" }, { longPrefix + "2", "t" }, { "x", "" }, { "", "x" },
    };
    QStringList names;
    for (const auto& [className, title] : distinct)
        names << TInstanceChannel::nameFor(className, title);
    names.removeDuplicates();
    EXPECT_EQ(names.size(), qsizetype(distinct.size())) << names.join(u' ').toStdString();

    // Hostile and long texts give a plain file name that a server can listen on.
    const QStringList hostile = { "../../etc/passwd", "a b\\c:d*?\"<>|\n", QString(255, u'K'), "T\u00e4msel \u2211" };
    for (const QString& text : hostile) {
        TInstanceChannel channel(TInstanceChannel::nameFor(text + QString::number(QCoreApplication::applicationPid()), text));
        EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9_-]+$").match(channel.name()).hasMatch()) << channel.name().toStdString();
        ASSERT_EQ(channel.claim(), TInstanceChannel::Reach::Claimed) << channel.name().toStdString();
        EXPECT_TRUE(channel.listen([](const QByteArray&) { return QByteArray(); })) << channel.name().toStdString();
    }
}

TEST(TInstanceChannel, CopiesStartedTogetherAgreeOnOneOwner)
{
    const QString name = uniqueName();
    // The owner listens only a while after its claim, as the program does once
    // its main window exists; the others must wait for it, not run too.
    std::vector<std::unique_ptr<Peer>> copies;
    for (int i = 0; i < 4; ++i)
        copies.push_back(std::make_unique<Peer>(name, 300));
    for (auto& copy : copies)
        ASSERT_TRUE(copy->process().waitForStarted(10000));
    for (auto& copy : copies)
        copy->go();

    Peer* owner = nullptr;
    for (auto& copy : copies) {
        if (copy->waitForLine("listening")) {
            EXPECT_EQ(owner, nullptr) << "two copies run at once";
            owner = copy.get();
        }
    }
    ASSERT_NE(owner, nullptr);
    for (auto& copy : copies) {
        if (copy.get() != owner) {
            EXPECT_EQ(copy->process().exitCode(), 1);
            EXPECT_TRUE(copy->output().contains("found " + owner->pong())) << copy->output().toStdString();
        }
    }

    TInstanceChannel asker(name);
    ASSERT_TRUE(asker.connectToOwner(QDeadlineTimer(5000)));
    EXPECT_EQ(asker.ask("ping", QDeadlineTimer(5000)), owner->pong());
    EXPECT_EQ(asker.ask("two\nlines", QDeadlineTimer(5000)), QByteArray("echo two lines"));
}

TEST(TInstanceChannel, WaitsBoundedlyForAHolderThatDoesNotListenAndOutlivesIt)
{
    const QString name = uniqueName();
    Peer holder(name, 3600 * 1000);
    holder.go();
    ASSERT_TRUE(holder.waitForLine("claimed"));

    TInstanceChannel starting(name);
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(starting.connectOrClaim(QDeadlineTimer(400)), TInstanceChannel::Reach::Taken);
    EXPECT_GE(elapsed.elapsed(), 400);
    EXPECT_LT(elapsed.elapsed(), 5000);

    // A holder that crashed leaves its lock file; the next claim takes it over.
    holder.process().kill();
    ASSERT_TRUE(holder.process().waitForFinished(10000));
    ASSERT_TRUE(QFile::exists(starting.lockFilePath()));
    EXPECT_EQ(starting.connectOrClaim(QDeadlineTimer(5000)), TInstanceChannel::Reach::Claimed);
}

TEST(TInstanceChannel, AHungOwnerDoesNotHangTheAsker)
{
    const QString name = uniqueName();
    Peer hung(name, 0);
    hung.go();
    ASSERT_TRUE(hung.waitForLine("listening"));

    TInstanceChannel asker(name);
    ASSERT_TRUE(asker.connectToOwner(QDeadlineTimer(5000)));
    ASSERT_EQ(asker.ask("ping", QDeadlineTimer(5000)), hung.pong());
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(asker.ask("stall", QDeadlineTimer(300)).has_value());
    EXPECT_LT(elapsed.elapsed(), 5000);
    EXPECT_FALSE(asker.isConnected());
}

TEST(TInstanceChannel, DropsMisbehavingAskersAndKeepsAnswering)
{
    QStringList reported;
    Application->OnException = TApplication::TExceptionEvent::fromFunction(
        [&reported](TObject*, const Exception& e) { reported << e.Message(); });

    TInstanceChannel owner(uniqueName());
    ASSERT_EQ(owner.claim(), TInstanceChannel::Reach::Claimed);
    ASSERT_TRUE(owner.listen([](const QByteArray& request) -> std::optional<QByteArray> {
        if (request == "throw")
            throw EWriteError(QStringLiteral("handler failed"));
        if (request == "refuse")
            return std::nullopt;
        return request == "two" ? QByteArray("one\ntwo") : "echo " + request;
    }));

    auto send = [&owner](const QByteArray& bytes) {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(owner.socketPath());
        EXPECT_TRUE(socket->waitForConnected(5000));
        socket->write(bytes);
        return socket;
    };
    auto isDropped = [](std::unique_ptr<QLocalSocket> socket) {
        return TestSupport::waitUntil([&socket] { return socket->state() == QLocalSocket::UnconnectedState; }, 10000);
    };
    EXPECT_TRUE(isDropped(send("throw\nping\n")));
    EXPECT_EQ(reported, QStringList { "handler failed" });
    EXPECT_TRUE(isDropped(send("refuse\n")));
    EXPECT_TRUE(isDropped(send(QByteArray(TInstanceChannel::MaxLineLength * 4, 'x'))));

    // A well-behaved asker is still answered, one line per request, in order.
    auto polite = send("two\nping\n");
    QByteArray received;
    EXPECT_TRUE(TestSupport::waitUntil([&] { received += polite->readAll(); return received.count('\n') >= 2; }, 10000));
    EXPECT_EQ(received, QByteArray("one two\necho ping\n"));

    Application->OnException = {};
}

TEST(TInstanceChannel, LivesInTheUsersPrivateRuntimeFolderWhenThereIsOne)
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const TInstanceChannel channel(QStringLiteral("folder-test"));

    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    EXPECT_EQ(QFileInfo(channel.socketPath()).absolutePath(), runtime.path());
    EXPECT_EQ(QFileInfo(channel.lockFilePath()).absolutePath(), runtime.path());

    // A folder others may write is no place for the claim: another user could
    // take the name first. A folder of the user's own in the temp folder is.
    const QString privateFolder = QDir::tempPath() + QStringLiteral("/tinstance-%1").arg(::getuid());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
        | QFile::WriteOther | QFile::ExeOther);
    EXPECT_EQ(QFileInfo(channel.socketPath()).absolutePath(), privateFolder);
    qputenv("XDG_RUNTIME_DIR", "relative/folder");
    EXPECT_EQ(QFileInfo(channel.lockFilePath()).absolutePath(), privateFolder);

    if (wasSet)
        qputenv("XDG_RUNTIME_DIR", saved);
    else
        qunsetenv("XDG_RUNTIME_DIR");
}

namespace {

// Sets an environment variable for one scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QByteArray& value)
        : m_name(name)
        , m_saved(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        qputenv(name, value);
    }
    ~ScopedEnvironment()
    {
        if (m_saved)
            qputenv(m_name, *m_saved);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<QByteArray> m_saved;
};

} // namespace

// Without a runtime folder the claim lives in a folder of the user's own in
// the temp folder; a folder of that name that is not private (left open, a
// link, another user's) is passed over, by every copy alike.
TEST(TInstanceChannel, WithoutARuntimeFolderUsesAPrivateFolderOfItsOwn)
{
    const struct {
        const char* what;
        std::function<void(const QByteArray& path)> prepare;
        bool rootOnly;
        const char* expectedSuffix;
    } cases[] = {
        { "none yet: created", [](const QByteArray&) {}, false, "" },
        { "ours", [](const QByteArray& p) { ::mkdir(p.constData(), 0700); }, false, "" },
        { "open to others", [](const QByteArray& p) { ::mkdir(p.constData(), 0777); ::chmod(p.constData(), 0777); }, false, "-1" },
        { "a link", [](const QByteArray& p) { ::symlink("/tmp", p.constData()); }, false, "-1" },
        { "another user's", [](const QByteArray& p) { ::mkdir(p.constData(), 0700); EXPECT_EQ(::chown(p.constData(), 65534, 65534), 0); }, true, "-1" },
    };
    for (const auto& c : cases) {
        if (c.rootOnly && ::getuid() != 0)
            continue;
        SCOPED_TRACE(c.what);
        QTemporaryDir temp;
        ScopedEnvironment tmpdir("TMPDIR", QFile::encodeName(temp.path()));
        ScopedEnvironment runtime("XDG_RUNTIME_DIR", "");
        const QString folder = temp.path() + QStringLiteral("/tinstance-%1").arg(::getuid());
        c.prepare(QFile::encodeName(folder));

        TInstanceChannel channel(uniqueName());
        EXPECT_EQ(QFileInfo(channel.lockFilePath()).absolutePath(), folder + QString::fromLatin1(c.expectedSuffix));
        ASSERT_EQ(channel.claim(), TInstanceChannel::Reach::Claimed);
        const QFileInfo used(QFileInfo(channel.lockFilePath()).absolutePath());
        EXPECT_EQ(used.ownerId(), ::getuid());
        EXPECT_EQ(used.permissions() & 0x0077, 0) << "no access for group or others";
    }
}

// Names in the shared temp folder that another user took first (stood in for
// by plain files) keep no copy from finding the running one: not when every
// fixed name is taken, and not when a taken name is freed while the first copy
// runs in another folder.
TEST(TInstanceChannel, NamesTakenByOthersInTheTempFolderKeepOneCopy)
{
    const struct {
        const char* what;
        int taken;
        bool freedAfterClaim;
    } cases[] = { { "one taken, then freed", 1, true }, { "eight taken", 8, false } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir temp;
        ScopedEnvironment tmpdir("TMPDIR", QFile::encodeName(temp.path()));
        ScopedEnvironment runtime("XDG_RUNTIME_DIR", "");
        QStringList squatted;
        for (int i = 0; i < c.taken; ++i) {
            squatted << temp.path() + QStringLiteral("/tinstance-%1").arg(::getuid()) + (i ? QStringLiteral("-%1").arg(i) : QString());
            QFile(squatted.last()).open(QIODevice::WriteOnly);
        }
        const QString name = uniqueName();
        TInstanceChannel first(name);
        ASSERT_EQ(first.claim(), TInstanceChannel::Reach::Claimed);
        ASSERT_TRUE(first.listen([](const QByteArray&) { return QByteArray("first"); }));
        if (c.freedAfterClaim) {
            for (const QString& path : std::as_const(squatted))
                QFile::remove(path);
        }
        TInstanceChannel second(name);
        EXPECT_EQ(second.connectOrClaim(QDeadlineTimer(5000)), TInstanceChannel::Reach::Connected);
    }
}

// One copy per user and display: displays are told apart, and the ways of
// writing one display name meet.
TEST(TInstanceChannel, NamesIncludeTheDisplay)
{
    auto nameOn = [](const QByteArray& display) {
        ScopedEnvironment environment("DISPLAY", display);
        return TInstanceChannel::nameFor(QStringLiteral("TKelvaneMainForm"), QStringLiteral("Tamsel"));
    };
    EXPECT_EQ(nameOn(":1"), nameOn(":1.0"));
    EXPECT_EQ(nameOn(":1"), nameOn("unix:1"));
    EXPECT_NE(nameOn(":1"), nameOn(":2"));
    EXPECT_NE(nameOn(":10"), nameOn(":1"));
    EXPECT_NE(nameOn("localhost:10.0"), nameOn(":10"));
    // A host name's dots are not the screen's.
    EXPECT_EQ(nameOn("host.example.com:10"), nameOn("host.example.com:10.0"));
    EXPECT_NE(nameOn("host.example.com:10"), nameOn("host.example.com:11"));
}

namespace {

// A connection to a socket path; each connect waits a while for the owner to
// accept it, and so does each send.
int connectTo(const QByteArray& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval wait { 1, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
}

} // namespace

// A flood of connections that are held and never used, more than the running
// copy has file handles for, neither stops it listening nor keeps a later
// start from being answered; an asker that never reads its answers and one
// that stays idle are dropped.
TEST(TInstanceChannel, FloodsOfConnectionsDoNotSilenceTheOwner)
{
    const QString name = uniqueName();
    Peer owner(name, 0, [] {
        struct rlimit limit { 1024, 1024 };
        ::setrlimit(RLIMIT_NOFILE, &limit);
    });
    owner.go();
    ASSERT_TRUE(owner.waitForLine("listening"));
    const QByteArray path = QFile::encodeName(TInstanceChannel(name).socketPath());

    std::vector<int> held;
    for (int i = 0; i < 1100; ++i)
        held.push_back(connectTo(path));

    // Held connections push each other out: a later start is answered at
    // once, not only when the idle ones time out.
    TInstanceChannel later(name);
    const QDeadlineTimer soon(2000);
    ASSERT_EQ(later.connectOrClaim(soon), TInstanceChannel::Reach::Connected);
    EXPECT_EQ(later.ask("ping", soon), owner.pong());
    later.disconnectFromOwner();

    QElapsedTimer clock;
    const auto isDroppedWhileSending = [&clock](int fd, const QByteArray& bytes) {
        clock.start();
        bool dropped = false;
        while (!dropped && clock.elapsed() < 10000)
            dropped = ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) < 0 && errno != EAGAIN;
        ::close(fd);
        return dropped;
    };
    // A reader of nothing: its answers pile up until it is dropped.
    EXPECT_TRUE(isDroppedWhileSending(connectTo(path), QByteArray("ping\n").repeated(1000)));
    // A sender of one endless line is never idle; what it sends is not kept.
    EXPECT_TRUE(isDroppedWhileSending(connectTo(path), QByteArray(1024, 'x')));

    for (int fd : held)
        ::close(fd);
    QLocalSocket idle;
    idle.connectToServer(QFile::decodeName(path));
    ASSERT_TRUE(idle.waitForConnected(5000));
    idle.write("ping\n");
    ASSERT_TRUE(idle.waitForReadyRead(5000));
    EXPECT_EQ(idle.readLine(), owner.pong() + '\n');
    clock.restart();
    EXPECT_TRUE(idle.waitForDisconnected(10000)) << "an idle asker is dropped after a few seconds";
    EXPECT_LT(clock.elapsed(), 6000);
}

// Connections held and never used fill the channel only up to its cap: each
// one over it pushes out the idlest, while a new asker is still answered.
TEST(TInstanceChannel, HeldConnectionsStayWithinTheCap)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s"));
    TInstanceChannelServer server;
    ASSERT_TRUE(server.listen(path, [](const QByteArray&) { return std::optional(QByteArray("pong")); }));
    std::vector<int> held;
    for (int i = 0; i < 3 * TInstanceChannel::MaxConnections; ++i)
        held.push_back(connectTo(QFile::encodeName(path)));
    // Connections are taken in order: once the asker's answer is back, every
    // held one has been taken too.
    QLocalSocket asker;
    asker.connectToServer(path);
    asker.write("ping\n");
    ASSERT_TRUE(TestSupport::waitUntil([&] { return asker.canReadLine(); }));
    EXPECT_EQ(asker.readLine(), "pong\n");
    EXPECT_EQ(server.connectionCount(), TInstanceChannel::MaxConnections);
    for (int fd : held)
        ::close(fd);
}

// A socket of the channel's name that another user listens on is no copy of
// this user's program: the asker does not talk to it.
TEST(TInstanceChannel, ASocketOfAnotherUserIsNoRunningCopy)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to listen as another user";
    TInstanceChannel channel(uniqueName());
    const QByteArray path = QFile::encodeName(channel.socketPath());
    const int listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    // The socket's owner is whoever listens on it.
    const pid_t other = ::fork();
    if (other == 0) {
        if (::setuid(65534) == 0 && ::listen(listening, 8) == 0)
            ::pause();
        ::_exit(1);
    }
    ::close(listening);
    ASSERT_TRUE(TestSupport::waitUntil([&] {
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool listens = ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(probe);
        return listens;
    }));
    EXPECT_FALSE(channel.connectToOwner(QDeadlineTimer(2000)));
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
    ::unlink(path.constData());
}

// The toolkit's server closes itself for good when an accept fails (out of
// file handles); the owner still holds the name and listens again.
TEST(TInstanceChannel, ListensAgainAfterItsServerClosed)
{
    TInstanceChannel owner(uniqueName());
    ASSERT_EQ(owner.claim(), TInstanceChannel::Reach::Claimed);
    ASSERT_TRUE(owner.listen([](const QByteArray& request) { return "echo " + request; }));
    QLocalServer* server = owner.findChild<QLocalServer*>();
    ASSERT_NE(server, nullptr);
    server->close();
    ASSERT_FALSE(owner.isListening());

    EXPECT_TRUE(TestSupport::waitUntil([&] { return owner.isListening(); }, 15000));
    QLocalSocket asker;
    asker.connectToServer(owner.socketPath());
    ASSERT_TRUE(asker.waitForConnected(5000));
    asker.write("again\n");
    EXPECT_TRUE(TestSupport::waitUntil([&] { return asker.canReadLine(); }, 5000));
    EXPECT_EQ(asker.readLine(), QByteArray("echo again\n"));
}
