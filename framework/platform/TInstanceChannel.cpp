#include "platform/TInstanceChannel.h"

#include "core/ExceptionBoundary.h"
#include "platform/TInstanceChannelFolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <limits>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

// Room for the name inside a local socket path (at most 107 bytes on Linux,
// 103 on macOS) below a temp folder of ordinary length.
constexpr qsizetype ReadablePartLength = 48;

// How long a starting copy waits between attempts while the holder of the
// name has not started listening.
constexpr int RetryIntervalMs = 25;

// The channel's answers are served from the user-interface thread and use
// file handles of the process: a flood of connections must reach neither.
// At most this many are open at once; a new one pushes out the one that has
// been idle longest, and one idle this long is dropped.
constexpr int IdleTimeoutMs = 3000;
constexpr int SweepIntervalMs = 1000;

QString currentUser()
{
#ifdef Q_OS_UNIX
    return QString::number(::getuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

bool isFileNameSafe(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
        || c == u'-' || c == u'_';
}

// The display this process shows its windows on, so that a copy on another
// display (a second seat, a remote session) runs on its own. ":0", ":0.0" and
// "unix:0" are one X display; a Wayland session is named by its socket.
QString currentDisplay()
{
    const bool isWayland = QGuiApplication::instance() && QGuiApplication::platformName().startsWith(u"wayland");
    QString display = qEnvironmentVariable("DISPLAY");
    if (isWayland || display.isEmpty()) {
        const QString socket = qEnvironmentVariable("WAYLAND_DISPLAY");
        if (isWayland || !socket.isEmpty())
            return QStringLiteral("wayland:") + (socket.isEmpty() ? QStringLiteral("wayland-0") : socket);
        return {};
    }
    if (display.startsWith(u"unix:"))
        display.remove(0, 4);
    const qsizetype colon = display.lastIndexOf(u':');
    const qsizetype dot = display.indexOf(u'.', colon < 0 ? 0 : colon);
    if (colon >= 0 && dot > colon)
        display.truncate(dot);
    return display;
}

#ifdef Q_OS_UNIX
// The user at the other end of a local socket; a socket of another user is
// never taken for one of this user's copies.
bool isPeerThisUser(qintptr descriptor)
{
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    return ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0
        && credentials.uid == ::getuid();
}
#else
bool isPeerThisUser(qintptr)
{
    return true;
}
#endif

QByteArray withoutLineBreaks(QByteArray line)
{
    return line.replace('\n', ' ');
}

// The milliseconds left as Qt's blocking waits take them: -1 waits forever.
int remainingMs(const QDeadlineTimer& deadline)
{
    if (deadline.isForever())
        return -1;
    return static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 0, std::numeric_limits<int>::max()));
}

} // namespace

TInstanceChannel::TInstanceChannel(QString name, QObject* parent)
    : QObject(parent)
    , m_name(std::move(name))
{
    m_clock.start();
}

// The server is a child and goes with this object; the lock is released by
// its own destructor.
TInstanceChannel::~TInstanceChannel() = default;

QString TInstanceChannel::nameFor(const QString& className, const QString& title)
{
    const QString user = currentUser();
    const QString display = currentDisplay();
    QString readable = className + u'-' + title + u'-' + user + u'-' + display;
    for (QChar& c : readable) {
        if (!isFileNameSafe(c))
            c = u'_';
    }
    readable.truncate(ReadablePartLength);

    // The readable part may be cut short or map different texts to the same
    // one ("a-b" + "c" against "a" + "b-c"); the digest of the exact texts
    // keeps such names apart.
    QByteArray exact = className.toUtf8();
    exact += '\0';
    exact += title.toUtf8();
    exact += '\0';
    exact += user.toUtf8();
    exact += '\0';
    exact += display.toUtf8();
    const QByteArray digest = QCryptographicHash::hash(exact, QCryptographicHash::Sha256).toHex().left(16);
    return readable + u'-' + QString::fromLatin1(digest);
}

// The claimer's folder once it holds the name; before, the first of the
// folders, where a new claim would listen.
QString TInstanceChannel::folder() const
{
    return isClaimed() ? m_folders.value(0) : TInstanceChannelFolders::All(true).value(0);
}

QString TInstanceChannel::lockFilePath() const
{
    const QString path = folder();
    return path.isEmpty() ? QString() : QDir(path).filePath(m_name + QStringLiteral(".lock"));
}

QString TInstanceChannel::socketPath() const
{
    const QString path = folder();
    return path.isEmpty() ? QString() : QDir(path).filePath(m_name);
}

// Takes the name in every folder of the user's, then looks again: a copy that
// made another folder at the same moment holds its own folder by then and is
// met in it, so at most one of two such copies keeps its claim.
TInstanceChannel::Reach TInstanceChannel::claim()
{
    if (isClaimed())
        return Reach::Claimed;
    QStringList pending = TInstanceChannelFolders::All(true);
    QStringList tried;
    bool wasLeftBehind = false;
    while (!pending.isEmpty()) {
        for (const QString& candidate : std::as_const(pending)) {
            tried << candidate;
            // A holder that ends normally removes its lock file; one that is
            // there when the claim succeeds was left by a holder that died.
            const bool existed = QFileInfo::exists(QDir(candidate).filePath(m_name + QStringLiteral(".lock")));
            bool isTaken = false;
            if (lockIn(candidate, isTaken)) {
                wasLeftBehind = wasLeftBehind || existed;
            } else if (isTaken) {
                m_locks.clear();
                m_folders.clear();
                return Reach::Taken;
            }
        }
        pending.clear();
        const QStringList folders = TInstanceChannelFolders::All(false);
        for (const QString& found : folders) {
            if (!tried.contains(found))
                pending << found;
        }
    }
    if (m_locks.empty())
        return Reach::Unavailable;
    m_claimedAfterCrash = wasLeftBehind;
    return Reach::Claimed;
}

// False with isTaken when a live process holds the name there; false alone
// when the folder does not take a lock file.
bool TInstanceChannel::lockIn(const QString& candidate, bool& isTaken)
{
    auto lock = std::make_unique<QLockFile>(QDir(candidate).filePath(m_name + QStringLiteral(".lock")));
    // A holder is never stale because of age, only because its process has
    // gone: a copy may run for weeks.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        isTaken = lock->error() == QLockFile::LockFailedError;
        return false;
    }
    m_locks.push_back(std::move(lock));
    m_folders << candidate;
    return true;
}

bool TInstanceChannel::isClaimed() const
{
    return !m_locks.empty() && m_locks.front()->isLocked();
}

bool TInstanceChannel::listen(Answerer answerer)
{
    if (!isClaimed())
        return false;
    m_answerer = std::move(answerer);
    if (m_server)
        return true;

    // Holding the lock means any socket file of this name was left by a
    // process that died without closing it.
    QLocalServer::removeServer(socketPath());
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(socketPath())) {
        server->deleteLater();
        return false;
    }
    m_server = server;
    connect(server, &QLocalServer::newConnection, this, &TInstanceChannel::acceptConnections);
    if (!m_sweep) {
        m_sweep = new QTimer(this);
        m_sweep->setInterval(SweepIntervalMs);
        connect(m_sweep, &QTimer::timeout, this, [this] { guarded(this, [this] { sweep(); }); });
    }
    m_sweep->start();
    return true;
}

// The toolkit's server closes itself (and removes its socket file) when an
// accept fails, for example when the process is out of file handles; the
// claim is still ours, so the channel listens again.
void TInstanceChannel::sweep()
{
    const qint64 now = m_clock.elapsed();
    const auto connections = m_connections;
    for (auto it = connections.begin(); it != connections.end(); ++it) {
        if (now - it.value() >= IdleTimeoutMs)
            drop(it.key());
    }
    if (m_server && !m_server->isListening()) {
        m_server->deleteLater();
        m_server = nullptr;
        listen(m_answerer);
    }
}

void TInstanceChannel::dropIdlestConnection()
{
    QLocalSocket* idlest = nullptr;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        if (!m_answering.contains(it.key()) && (!idlest || it.value() < m_connections.value(idlest)))
            idlest = it.key();
    }
    if (idlest)
        drop(idlest);
}

void TInstanceChannel::drop(QLocalSocket* socket)
{
    m_connections.remove(socket);
    socket->abort();
    socket->deleteLater();
}

bool TInstanceChannel::isListening() const
{
    return m_server && m_server->isListening();
}

void TInstanceChannel::stopListening()
{
    if (m_sweep)
        m_sweep->stop();
    if (!m_server)
        return;
    m_server->close();
    m_server->deleteLater();
    m_server = nullptr;
}

void TInstanceChannel::acceptConnections()
{
    guarded(this, [this] {
        while (m_server && m_server->hasPendingConnections()) {
            QLocalSocket* socket = m_server->nextPendingConnection();
            if (!isPeerThisUser(socket->socketDescriptor())) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            if (m_connections.size() >= MaxConnections)
                dropIdlestConnection();
            m_connections.insert(socket, m_clock.elapsed());
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QObject::destroyed, this, [this, socket] { m_connections.remove(socket); });
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answerRequests(socket); });
            answerRequests(socket);
        }
    });
}

void TInstanceChannel::answerRequests(QLocalSocket* socket)
{
    // An answerer may open a modal dialog whose event loop delivers more data
    // on this socket; the outer call keeps answering in order.
    if (m_answering.contains(socket))
        return;
    m_answering.insert(socket);
    QPointer<QLocalSocket> alive(socket);

    guarded(this, [&] {
        while (alive && alive->canReadLine()) {
            QByteArray request = alive->readLine();
            if (request.size() > MaxLineLength + 1) {
                alive->abort();
                break;
            }
            request.chop(1);

            std::optional<QByteArray> answer;
            guarded(this, [&] { answer = m_answerer ? m_answerer(request) : std::nullopt; });
            if (!alive)
                break;
            if (!answer) {
                alive->abort();
                break;
            }
            alive->write(withoutLineBreaks(*answer).left(MaxLineLength) + '\n');
            alive->flush();
            // An asker that does not read its answers is not queued for.
            if (alive->bytesToWrite() > MaxQueuedBytes) {
                alive->abort();
                break;
            }
        }
        if (alive && m_connections.contains(alive))
            m_connections[alive] = m_clock.elapsed();
        if (alive && alive->bytesAvailable() > MaxLineLength)
            alive->abort();
    });

    m_answering.remove(socket);
}

// The owner listens in one of the user's folders; each is looked in.
bool TInstanceChannel::connectToOwner(QDeadlineTimer deadline)
{
    const QStringList folders = TInstanceChannelFolders::All(false);
    for (const QString& candidate : folders) {
        auto connection = std::make_unique<QLocalSocket>();
        connection->connectToServer(QDir(candidate).filePath(m_name));
        if (connection->waitForConnected(remainingMs(deadline)) && isPeerThisUser(connection->socketDescriptor())) {
            m_connection = std::move(connection);
            return true;
        }
    }
    return false;
}

bool TInstanceChannel::isConnected() const
{
    return m_connection && m_connection->state() == QLocalSocket::ConnectedState;
}

void TInstanceChannel::disconnectFromOwner()
{
    m_connection.reset();
}

std::optional<QByteArray> TInstanceChannel::ask(const QByteArray& request, QDeadlineTimer deadline)
{
    if (!isConnected())
        return std::nullopt;
    m_connection->write(withoutLineBreaks(request) + '\n');
    m_connection->flush();
    while (!m_connection->canReadLine()) {
        if (m_connection->bytesAvailable() > MaxLineLength || deadline.hasExpired()
            || !m_connection->waitForReadyRead(remainingMs(deadline))) {
            disconnectFromOwner();
            return std::nullopt;
        }
    }
    QByteArray answer = m_connection->readLine();
    answer.chop(1);
    return answer;
}

TInstanceChannel::Reach TInstanceChannel::connectOrClaim(QDeadlineTimer deadline)
{
    for (;;) {
        // A listening owner accepts at once; the wait only covers a full backlog.
        if (connectToOwner(qMin(deadline, QDeadlineTimer(1000))))
            return Reach::Connected;
        const Reach claimed = claim();
        if (claimed != Reach::Taken)
            return claimed;
        // The holder is starting up (or shutting down) and not listening.
        if (deadline.hasExpired())
            return Reach::Taken;
        QThread::msleep(static_cast<unsigned long>(
            deadline.isForever() ? RetryIntervalMs : qMin(remainingMs(deadline), RetryIntervalMs)));
    }
}
