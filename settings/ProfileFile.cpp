#include "settings/ProfileFile.h"

#include "core/DestructionScope.h"
#include "platform/FileReplacement.h"
#include "platform/LockHolder.h"
#include "platform/RegularFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QThread>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

// Far beyond any settings file (this program's own section is under a
// kilobyte), yet read and indexed in well under a second; a larger file, or a
// device that never ends, is not read at all rather than exhausting memory.
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

} // namespace

// The lock file beside the settings file, held with an advisory lock: the
// system drops it when its holder ends, crash or not, so it never goes stale.
// The holder deletes the file when it is done; a waiter that then finds it
// holds the lock of a deleted file tries again.
class ProfileLock {
public:
    ProfileLock(const QString& lockName, const QByteArray& settingsFile)
        : m_path(QFile::encodeName(lockName))
        , m_settingsFile(settingsFile)
    {
    }
    ~ProfileLock()
    {
        if (m_fd < 0)
            return;
        if (m_ownsFile)
            ::unlink(m_path.constData());
        ::close(m_fd);
    }
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

    bool tryLock()
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

private:
    // On the user-interface thread the window keeps painting while the save
    // waits, as it does behind a message box (input waits for the save).
    // Inside a destruction no event loop may run, and another thread has no
    // window: there the wait only sleeps.
    static void waitAWhile()
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
    bool tryOnce()
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

    bool isHeld(int fd) const
    {
        struct stat held {};
        struct stat named {};
        const QByteArray& path = m_ownsFile ? m_path : m_settingsFile;
        return ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::lstat(path.constData(), &named) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
    }

    QByteArray m_path;
    QByteArray m_settingsFile;
    int m_fd = -1;
    bool m_ownsFile = true;
    // The file another holder has locked, as last found.
    struct stat m_heldFile {};
};

namespace {

// A missing file reads as empty; one that cannot be read gives none.
std::optional<ProfileText> readText(const QString& fileName)
{
    const auto bytes = ReadRegularFile(fileName, MaxFileSize);
    if (!bytes)
        return std::nullopt;
    return ProfileText::parse(*bytes);
}

} // namespace

ProfileFile::ProfileFile(const QString& fileName)
    : m_fileName(fileName)
{
}

ProfileFile::~ProfileFile()
{
    commit();
}

// A file that cannot be read gives the defaults; a write then refuses.
QString ProfileFile::readString(const QString& section, const QString& key, const QString& defaultValue)
{
    if (!m_text)
        m_text = readText(m_fileName).value_or(ProfileText());
    const auto value = m_text->rawValue(section, key);
    return value ? ProfileText::readBack(*value) : defaultValue.left(ProfileText::MaxValueLength);
}

bool ProfileFile::beginChange()
{
    if (m_lock)
        return true;
    const auto target = FileReplacement::ResolveTarget(m_fileName);
    if (!target)
        return false;
    auto lock = std::make_unique<ProfileLock>(m_fileName + QStringLiteral(".lock"), target->path);
    if (!lock->tryLock())
        return false;
    // Read anew under the lock, so that what another copy saved since stays;
    // a file that cannot be read whole is not written, as that would lose
    // what it holds.
    auto text = readText(m_fileName);
    if (!text)
        return false;
    m_lock = std::move(lock);
    m_text = std::move(text);
    return true;
}

bool ProfileFile::writeString(const QString& section, const QString& key, const QString& value)
{
    if (!ProfileText::isValidSectionName(section) || !ProfileText::isValidKeyName(key) || !ProfileText::isValidValue(value))
        return false;
    if (!beginChange())
        return false;
    m_text->setValue(section, key, value);
    m_isChanged = true;
    return true;
}

bool ProfileFile::eraseSection(const QString& section)
{
    if (!beginChange())
        return false;
    m_text->removeSection(section);
    m_isChanged = true;
    return true;
}

bool ProfileFile::commit()
{
    if (!m_lock)
        return true;
    const bool isWritten = !m_isChanged
        || FileReplacement::Replace(m_fileName, m_text->serialize(), FileReplacement::NewFile::Ordinary)
            == FileReplacement::Result::Replaced;
    m_isChanged = false;
    m_lock.reset();
    // What another program writes after this is read anew.
    if (!isWritten)
        m_text.reset();
    return isWritten;
}

QString ProfileFile::ReadString(const QString& fileName, const QString& section, const QString& key,
    const QString& defaultValue)
{
    return ProfileFile(fileName).readString(section, key, defaultValue);
}

bool ProfileFile::WriteString(const QString& fileName, const QString& section, const QString& key,
    const QString& value)
{
    ProfileFile file(fileName);
    return file.writeString(section, key, value) && file.commit();
}

bool ProfileFile::EraseSection(const QString& fileName, const QString& section)
{
    ProfileFile file(fileName);
    return file.eraseSection(section) && file.commit();
}
