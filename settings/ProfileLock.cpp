#include "settings/ProfileLock.h"

#include "core/DestructionScope.h"
#include "platform/LockHolder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QThread>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Another copy of the program holds the lock only for one save, a few
// milliseconds even for a file of megabytes, but on a loaded machine that
// save may wait seconds for the processor. So the wait goes on while the
// holder is alive and making progress (running, waiting to run or for the
// disk, or using processor time since the last look); a holder that has made
// none for two seconds is stopped, stuck or hostile, and the save fails. Past
// half a minute it fails in any case: the close that waits for it must end.
// Below a quarter second nothing is asked about the holder at all.
constexpr int StalledHolderMs = 2000;
constexpr int LongestLockWaitMs = 30000;
constexpr int UnaskedWaitMs = 250;

} // namespace

ProfileLock::ProfileLock(const QString& lockName, const QByteArray& settingsFile)
    : m_path(QFile::encodeName(lockName))
    , m_settingsFile(settingsFile)
{
}

ProfileLock::~ProfileLock()
{
    if (m_fd < 0)
        return;
    if (m_ownsFile)
        ::unlink(m_path.constData());
    ::close(m_fd);
}

bool ProfileLock::tryLock()
{
    QDeadlineTimer deadline(LongestLockWaitMs);
    QElapsedTimer waited;
    waited.start();
    LockHolder holder;
    do {
        if (tryOnce())
            return true;
        if (waited.elapsed() >= UnaskedWaitMs && holder.hasStalled(m_heldFile, StalledHolderMs))
            return false;
        waitAWhile();
    } while (!deadline.hasExpired());
    return false;
}

// On the user-interface thread the window keeps painting while the save
// waits, as it does behind a message box (input waits for the save).
// Inside a destruction no event loop may run, and another thread has no
// window: there the wait only sleeps.
void ProfileLock::waitAWhile()
{
    const QCoreApplication* application = QCoreApplication::instance();
    if (application && QThread::currentThread() == application->thread() && !DestructionScope::IsActive())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QThread::msleep(2);
}

// A link, a FIFO or a device in the lock's place is never followed or
// waited on. Where the folder refuses the lock file (the settings file is
// writable in a folder that is not), every copy locks the settings file
// itself.
bool ProfileLock::tryOnce()
{
    m_ownsFile = true;
    int fd = ::open(m_path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        m_ownsFile = false;
        fd = ::open(m_settingsFile.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }
    if (fd < 0)
        return false;
    if (isHeld(fd)) {
        m_fd = fd;
        return true;
    }
    struct stat held {};
    if (::fstat(fd, &held) == 0)
        m_heldFile = held;
    ::close(fd);
    return false;
}

bool ProfileLock::isHeld(int fd) const
{
    struct stat held {};
    struct stat named {};
    const QByteArray& path = m_ownsFile ? m_path : m_settingsFile;
    return ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0
        && ::lstat(path.constData(), &named) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}
