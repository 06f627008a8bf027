#include "TApplication.h"
#include "TInstanceChannel.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
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

// Another process on the channel (tests/framework/InstancePeer.cpp).
class Peer {
public:
    explicit Peer(const QStringList& arguments)
    {
        m_process.setProgram(QStringLiteral(TAMSEL_INSTANCE_PEER));
        m_process.setArguments(arguments);
        m_process.start();
    }

    ~Peer()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Waits for the peer to print the line, or to end.
    bool waitForLine(const QByteArray& expected, int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            while (m_process.canReadLine()) {
                const QByteArray line = m_process.readLine().trimmed();
                m_lines.push_back(line);
                if (line == expected)
                    return true;
            }
            if (deadline.hasExpired() || !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
                return false;
        }
    }

    // Waits for the end while this process's event loop keeps running, so an
    // in-process owner can answer the peer meanwhile.
    bool waitForExit(int timeoutMs = 20000)
    {
        return TestSupport::waitUntil([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
    }

    QByteArray output()
    {
        QByteArray all = m_lines.join('\n');
        if (!all.isEmpty())
            all += '\n';
        return all + m_process.readAllStandardOutput();
    }

    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QByteArrayList m_lines;
};

// QProcess::waitForFinished() is false for a process that has already ended.
bool hasEnded(QProcess& process, int timeoutMs = 15000)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(timeoutMs);
}

QByteArray pongOf(qint64 pid)
{
    return "pong " + QByteArray::number(pid);
}

QByteArray pongOf(Peer& peer)
{
    return pongOf(peer.process().processId());
}

} // namespace

TEST(TInstanceChannel, NamesAreSharedByEveryCopyAndUsableAsSocketPaths)
{
    // Every copy of one user meets on the same readable name.
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

TEST(TInstanceChannel, OnlyOneHolderAtATimeInAndAcrossProcesses)
{
    const QString name = uniqueName();
    auto first = std::make_unique<TInstanceChannel>(name);
    TInstanceChannel second(name);

    ASSERT_EQ(first->claim(), TInstanceChannel::Reach::Claimed);
    EXPECT_EQ(second.claim(), TInstanceChannel::Reach::Taken);
    EXPECT_FALSE(second.listen([](const QByteArray&) { return QByteArray(); }));

    Peer other({ "serve", name });
    ASSERT_TRUE(hasEnded(other.process(), 10000));
    EXPECT_EQ(other.process().exitCode(), 3) << "another process claimed a held name";

    first.reset();
    EXPECT_EQ(second.claim(), TInstanceChannel::Reach::Claimed);
}

TEST(TInstanceChannel, CopiesStartedTogetherAgreeOnOneOwner)
{
    const QString name = uniqueName();
    // The owner listens only some time after its claim, as the program does
    // once its main window exists; the others must wait for it, not run.
    std::vector<std::unique_ptr<Peer>> copies;
    for (int i = 0; i < 4; ++i)
        copies.push_back(std::make_unique<Peer>(QStringList { "start", name, "300" }));
    for (auto& copy : copies)
        ASSERT_TRUE(copy->process().waitForStarted(10000));
    // QProcess only passes written bytes on from its event loop or a wait.
    for (auto& copy : copies)
        copy->process().write("go\n");
    for (auto& copy : copies)
        ASSERT_TRUE(copy->process().waitForBytesWritten(10000));

    Peer* owner = nullptr;
    for (auto& copy : copies) {
        if (copy->waitForLine("listening", 15000)) {
            EXPECT_EQ(owner, nullptr) << "two copies run at once";
            owner = copy.get();
        }
    }
    ASSERT_NE(owner, nullptr);
    for (auto& copy : copies) {
        if (copy.get() == owner)
            continue;
        ASSERT_TRUE(hasEnded(copy->process(), 15000));
        EXPECT_EQ(copy->process().exitCode(), 1);
        EXPECT_TRUE(copy->output().contains("found " + pongOf(*owner))) << copy->output().toStdString();
    }

    TInstanceChannel asker(name);
    ASSERT_TRUE(asker.connectToOwner(QDeadlineTimer(5000)));
    EXPECT_EQ(asker.ask("ping", QDeadlineTimer(5000)), pongOf(*owner));
    EXPECT_EQ(asker.ask("two\nlines", QDeadlineTimer(5000)), QByteArray("echo two lines"));
    EXPECT_EQ(asker.ask("quit", QDeadlineTimer(5000)), QByteArray("bye"));
    ASSERT_TRUE(hasEnded(owner->process(), 10000));
    EXPECT_EQ(owner->process().exitCode(), 0);
}

TEST(TInstanceChannel, AKilledOwnerLeavesNothingThatBlocksTheNextOne)
{
    const QString name = uniqueName();
    const QString socketPath = QDir(QDir::tempPath()).filePath(name);
    {
        Peer crashed({ "serve", name });
        ASSERT_TRUE(crashed.waitForLine("listening"));
        crashed.process().kill();
        ASSERT_TRUE(hasEnded(crashed.process(), 10000));
    }
    ASSERT_TRUE(QFileInfo::exists(socketPath));
    ASSERT_TRUE(QFileInfo::exists(TInstanceChannel(name).lockFilePath()));

    TInstanceChannel next(name);
    ASSERT_EQ(next.connectOrClaim(QDeadlineTimer(5000)), TInstanceChannel::Reach::Claimed);
    ASSERT_TRUE(next.listen([](const QByteArray& request) { return "here " + request; }));

    Peer starting({ "start", name, "0" });
    starting.process().write("go\n");
    ASSERT_TRUE(starting.process().waitForBytesWritten(10000));
    ASSERT_TRUE(starting.waitForExit());
    EXPECT_EQ(starting.process().exitCode(), 1);
    EXPECT_TRUE(starting.output().contains("found here ping")) << starting.output().toStdString();
}

TEST(TInstanceChannel, WaitsBoundedlyForAHolderThatDoesNotListen)
{
    const QString name = uniqueName();
    Peer holder({ "hold", name });
    ASSERT_TRUE(holder.waitForLine("holding"));

    TInstanceChannel starting(name);
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(starting.connectOrClaim(QDeadlineTimer(400)), TInstanceChannel::Reach::Taken);
    EXPECT_GE(elapsed.elapsed(), 400);
    EXPECT_LT(elapsed.elapsed(), 5000);

    // Once the holder ends, the name is free at the next attempt.
    holder.process().closeWriteChannel();
    ASSERT_TRUE(hasEnded(holder.process(), 10000));
    EXPECT_EQ(starting.connectOrClaim(QDeadlineTimer(5000)), TInstanceChannel::Reach::Claimed);
}

TEST(TInstanceChannel, AHungOwnerDoesNotHangTheAsker)
{
    const QString name = uniqueName();
    Peer hung({ "serve", name });
    ASSERT_TRUE(hung.waitForLine("listening"));

    TInstanceChannel asker(name);
    ASSERT_TRUE(asker.connectToOwner(QDeadlineTimer(5000)));
    ASSERT_EQ(asker.ask("ping", QDeadlineTimer(5000)), pongOf(hung));
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(asker.ask("stall", QDeadlineTimer(300)).has_value());
    EXPECT_LT(elapsed.elapsed(), 5000);
    EXPECT_FALSE(asker.isConnected());
    EXPECT_FALSE(asker.ask("ping", QDeadlineTimer(300)).has_value());
}

TEST(TInstanceChannel, DropsMisbehavingAskersAndKeepsAnswering)
{
    ASSERT_NE(Application, nullptr);
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
        if (request == "two")
            return QByteArray("one\ntwo");
        return "echo " + request;
    }));

    auto connectAndSend = [&owner](const QByteArray& bytes) {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(owner.name());
        EXPECT_TRUE(socket->waitForConnected(5000));
        socket->write(bytes);
        return socket;
    };
    auto isDropped = [](QLocalSocket& socket) {
        return TestSupport::waitUntil([&socket] { return socket.state() == QLocalSocket::UnconnectedState; }, 10000);
    };

    auto throwing = connectAndSend("throw\nping\n");
    EXPECT_TRUE(isDropped(*throwing));
    EXPECT_EQ(reported, QStringList { "handler failed" });

    auto refused = connectAndSend("refuse\n");
    EXPECT_TRUE(isDropped(*refused));

    auto flooding = connectAndSend(QByteArray(TInstanceChannel::MaxLineLength * 4, 'x'));
    EXPECT_TRUE(isDropped(*flooding));

    // A well-behaved asker is still answered, one line per request, in order.
    auto polite = connectAndSend("two\nping\n");
    QByteArray received;
    EXPECT_TRUE(TestSupport::waitUntil([&] {
        received += polite->readAll();
        return received.count('\n') >= 2;
    }, 10000));
    EXPECT_EQ(received, QByteArray("one two\necho ping\n"));

    Application->OnException = {};
}
