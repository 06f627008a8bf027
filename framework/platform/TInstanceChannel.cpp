#include "platform/TInstanceChannel.h"

#include "platform/TInstanceChannelFolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLockFile>
#include <QThread>

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

} // namespace

TInstanceChannel::TInstanceChannel(QString name, QObject* parent)
    : QObject(parent)
    , m_name(std::move(name))
    , m_server(new TInstanceChannelServer(this))
{
}

// The server is a child and goes with this object; the locks are released by
// their own destructors.
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
    return isClaimed() && m_server->listen(socketPath(), std::move(answerer));
}

bool TInstanceChannel::isListening() const
{
    return m_server->isListening();
}

void TInstanceChannel::stopListening()
{
    m_server->stopListening();
}

bool TInstanceChannel::connectToOwner(QDeadlineTimer deadline)
{
    return m_asker.connectToOwner(m_name, deadline);
}

bool TInstanceChannel::isConnected() const
{
    return m_asker.isConnected();
}

void TInstanceChannel::disconnectFromOwner()
{
    m_asker.disconnectFromOwner();
}

std::optional<QByteArray> TInstanceChannel::ask(const QByteArray& request, QDeadlineTimer deadline)
{
    return m_asker.ask(request, deadline);
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
            deadline.isForever() ? RetryIntervalMs : qMin(TInstanceChannelWire::remainingMs(deadline), RetryIntervalMs)));
    }
}
