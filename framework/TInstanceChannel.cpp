#include "TInstanceChannel.h"

#include "ExceptionBoundary.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <limits>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// Room for the name inside a local socket path (at most 107 bytes on Linux,
// 103 on macOS) below a temp folder of ordinary length.
constexpr qsizetype ReadablePartLength = 48;

// How long a starting copy waits between attempts while the holder of the
// name has not started listening.
constexpr int RetryIntervalMs = 25;

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

// The folder of the lock and the socket: the user's own runtime folder where
// the session has one, so that no other user can take the name first; the
// temp folder otherwise.
QString channelFolder()
{
#ifdef Q_OS_UNIX
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QFileInfo info(runtime);
    const auto othersMayAccess = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
        | QFile::WriteOther | QFile::ExeOther;
    if (!runtime.isEmpty() && info.isAbsolute() && info.isDir() && info.ownerId() == ::getuid()
        && !(info.permissions() & othersMayAccess))
        return runtime;
#endif
    return QDir::tempPath();
}

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
}

// The server is a child and goes with this object; the lock is released by
// its own destructor.
TInstanceChannel::~TInstanceChannel() = default;

QString TInstanceChannel::nameFor(const QString& className, const QString& title)
{
    const QString user = currentUser();
    QString readable = className + u'-' + title + u'-' + user;
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
    const QByteArray digest = QCryptographicHash::hash(exact, QCryptographicHash::Sha256).toHex().left(16);
    return readable + u'-' + QString::fromLatin1(digest);
}

QString TInstanceChannel::lockFilePath() const
{
    return QDir(channelFolder()).filePath(m_name + QStringLiteral(".lock"));
}

QString TInstanceChannel::socketPath() const
{
    return QDir(channelFolder()).filePath(m_name);
}

TInstanceChannel::Reach TInstanceChannel::claim()
{
    if (isClaimed())
        return Reach::Claimed;
    auto lock = std::make_unique<QLockFile>(lockFilePath());
    // A holder is never stale because of age, only because its process has
    // gone: a copy may run for weeks.
    lock->setStaleLockTime(0);
    // A holder that ends normally removes its lock file; one that is there
    // when the claim succeeds was left by a holder that died.
    const bool wasLeftBehind = QFileInfo::exists(lockFilePath());
    if (lock->tryLock(0)) {
        m_lock = std::move(lock);
        m_claimedAfterCrash = wasLeftBehind;
        return Reach::Claimed;
    }
    return lock->error() == QLockFile::LockFailedError ? Reach::Taken : Reach::Unavailable;
}

bool TInstanceChannel::isClaimed() const
{
    return m_lock && m_lock->isLocked();
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
    return true;
}

bool TInstanceChannel::isListening() const
{
    return m_server && m_server->isListening();
}

void TInstanceChannel::stopListening()
{
    if (!m_server)
        return;
    m_server->close();
    m_server->deleteLater();
    m_server = nullptr;
}

void TInstanceChannel::acceptConnections()
{
    guarded(this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
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
        }
        if (alive && alive->bytesAvailable() > MaxLineLength)
            alive->abort();
    });

    m_answering.remove(socket);
}

bool TInstanceChannel::connectToOwner(QDeadlineTimer deadline)
{
    auto connection = std::make_unique<QLocalSocket>();
    connection->connectToServer(socketPath());
    if (!connection->waitForConnected(remainingMs(deadline)))
        return false;
    m_connection = std::move(connection);
    return true;
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
