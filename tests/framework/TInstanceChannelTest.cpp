#include "TApplication.h"
#include "TInstanceChannel.h"
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

#include <memory>
#include <vector>

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
    Peer(const QString& name, int listenDelayMs)
    {
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
    // take the name first.
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
        | QFile::WriteOther | QFile::ExeOther);
    EXPECT_EQ(QFileInfo(channel.socketPath()).absolutePath(), QDir::tempPath());
    qputenv("XDG_RUNTIME_DIR", "relative/folder");
    EXPECT_EQ(QFileInfo(channel.lockFilePath()).absolutePath(), QDir::tempPath());

    if (wasSet)
        qputenv("XDG_RUNTIME_DIR", saved);
    else
        qunsetenv("XDG_RUNTIME_DIR");
}
