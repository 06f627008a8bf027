#include "ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QDeadlineTimer>
#include <QLockFile>
#include <QThread>
#include <QTemporaryFile>

#include <filesystem>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Another copy of the program holds the lock only for one save.
constexpr int LockTimeoutMs = 5000;

} // namespace

#ifdef Q_OS_UNIX
// The lock file beside the settings file, held with an advisory lock: the
// system drops it when its holder ends, crash or not, so it never goes stale.
// The holder deletes the file when it is done; a waiter that then finds it
// holds the lock of a deleted file tries again.
class ProfileLock {
public:
    explicit ProfileLock(const QString& fileName)
        : m_path(QFile::encodeName(fileName))
    {
    }
    ~ProfileLock()
    {
        if (m_fd < 0)
            return;
        ::unlink(m_path.constData());
        ::close(m_fd);
    }
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

    bool tryLock(int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        do {
            const int fd = ::open(m_path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0)
                return false;
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                struct stat held {};
                struct stat named {};
                if (::fstat(fd, &held) == 0 && ::stat(m_path.constData(), &named) == 0
                    && held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
                    m_fd = fd;
                    return true;
                }
            }
            ::close(fd);
            QThread::msleep(2);
        } while (!deadline.hasExpired());
        return false;
    }

private:
    QByteArray m_path;
    int m_fd = -1;
};
#else
class ProfileLock : public QLockFile {
public:
    using QLockFile::QLockFile;
};
#endif

namespace {

QByteArray readAll(const QString& fileName)
{
    QFile file(fileName);
    if (fileName.isEmpty() || QFileInfo(fileName).isDir() || !file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// A file without any write permission counts as read-only also for a user
// whom the system would let write it.
bool isReadOnly(const QFileInfo& info)
{
    constexpr QFile::Permissions anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.exists() && (!info.isWritable() || !(info.permissions() & anyWrite));
}

// Writes a temporary file beside the target and renames it over the target,
// which replaces it in one step: a crash leaves the old file or the new one.
// The data is not forced to the disk first (that costs a disk round trip on
// every save); the file systems in use order a rename after the data it
// replaces.
bool replaceFile(const QString& fileName, const QByteArray& bytes)
{
    const QFileInfo info(fileName);
    const QString target = info.isSymLink() ? info.symLinkTarget() : fileName;
    const QFile::Permissions permissions = info.exists()
        ? QFileInfo(target).permissions()
        : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QTemporaryFile temporary(target + QStringLiteral(".XXXXXX"));
    if (!temporary.open() || temporary.write(bytes) != bytes.size() || !temporary.flush())
        return false;
    temporary.setPermissions(permissions);
    temporary.close();
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(temporary.fileName().toStdU16String()),
        std::filesystem::path(target.toStdU16String()), error);
    if (error)
        return false;
    temporary.setAutoRemove(false);
    return true;
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

QString ProfileFile::readString(const QString& section, const QString& key, const QString& defaultValue)
{
    if (!m_text)
        m_text = ProfileText::parse(readAll(m_fileName));
    const auto value = m_text->rawValue(section, key);
    return value ? ProfileText::readBack(*value) : defaultValue.left(ProfileText::MaxValueLength);
}

bool ProfileFile::beginChange()
{
    if (m_lock)
        return true;
    const QFileInfo info(m_fileName);
    if (m_fileName.isEmpty() || info.isDir() || isReadOnly(info))
        return false;
    auto lock = std::make_unique<ProfileLock>(m_fileName + QStringLiteral(".lock"));
    if (!lock->tryLock(LockTimeoutMs))
        return false;
    m_lock = std::move(lock);
    m_text = ProfileText::parse(readAll(m_fileName));
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
    const bool isWritten = !m_isChanged || replaceFile(m_fileName, m_text->serialize());
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
