#include "platform/FileReplacement.h"

#include "platform/RegularFile.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileReplacement {

namespace {

// The limit the system itself puts on a chain of links.
constexpr int MaxLinkHops = 40;
constexpr int TemporaryNameTries = 100;

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

// The link's target as a path usable from here: a relative target counts
// from the folder that holds the link.
std::optional<QByteArray> linkTarget(const QByteArray& link)
{
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(link.constData(), buffer, sizeof buffer);
    if (length <= 0 || length >= ssize_t(sizeof buffer))
        return std::nullopt;
    const QByteArray target(buffer, length);
    return target.startsWith('/') ? target : folderOf(link) + '/' + target;
}

struct ResolvedTarget {
    Target target;
    struct stat status {};
};

std::optional<ResolvedTarget> resolve(const QString& fileName)
{
    QByteArray path = QFile::encodeName(fileName);
    if (path.isEmpty())
        return std::nullopt;
    for (int hop = 0; hop <= MaxLinkHops; ++hop) {
        ResolvedTarget resolved { { path, true } };
        if (::lstat(path.constData(), &resolved.status) != 0) {
            // A missing file (or the missing end of a link) is created.
            if (errno != ENOENT)
                return std::nullopt;
            resolved.target.exists = false;
            return resolved;
        }
        if (!S_ISLNK(resolved.status.st_mode)) {
            if (!S_ISREG(resolved.status.st_mode))
                return std::nullopt;
            return resolved;
        }
        const auto next = linkTarget(path);
        if (!next)
            return std::nullopt;
        path = *next;
    }
    return std::nullopt;
}

// A file without any write permission counts as read-only also for a user
// whom the system would let write it.
bool isWritable(const ResolvedTarget& resolved)
{
    if (!resolved.target.exists)
        return true;
    return (resolved.status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0
        && ::faccessat(AT_FDCWD, resolved.target.path.constData(), W_OK, AT_EACCESS) == 0;
}

// A new file beside the target, under a name nobody else holds yet.
int createTemporary(const QByteArray& target, mode_t mode, QByteArray& name)
{
    static const char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < TemporaryNameTries; ++attempt) {
        name = target + '.';
        for (int i = 0; i < 6; ++i)
            name += Letters[QRandomGenerator::global()->bounded(int(sizeof Letters) - 1)];
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The temporary file takes the old file's owner, group and mode; the owner
// first, since a change of owner clears the set-user and set-group bits.
bool takeOwnerAndMode(int fd, const struct stat& old)
{
    struct stat current {};
    if (::fstat(fd, &current) != 0)
        return false;
    if ((current.st_uid != old.st_uid || current.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        return false;
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

// Where the whole replacement cannot be made, the caller writes in place.
enum class Outcome { Done, WriteFailed, Refused, NotReplaceable };

Outcome replaceWhole(const ResolvedTarget& resolved, const QByteArray& bytes, NewFile newFile)
{
    const Target& target = resolved.target;
    // An existing file's copy stays private until it has the file's owner and mode.
    const mode_t mode = target.exists || newFile == NewFile::Private ? 0600 : 0666;
    QByteArray temporary;
    const int fd = createTemporary(target.path, mode, temporary);
    if (fd < 0)
        return target.exists ? Outcome::NotReplaceable : Outcome::Refused;
    const bool isWritten = WriteAll(fd, bytes);
    const bool isOwned = !target.exists || takeOwnerAndMode(fd, resolved.status);
    const bool isClosed = ::close(fd) == 0;
    if (!isWritten || !isClosed || !isOwned) {
        ::unlink(temporary.constData());
        return isWritten && isClosed ? Outcome::NotReplaceable : Outcome::WriteFailed;
    }
    if (::rename(temporary.constData(), target.path.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        const bool isRefused = error == EACCES || error == EPERM;
        return isRefused && target.exists ? Outcome::NotReplaceable : Outcome::Refused;
    }
    return Outcome::Done;
}

// The old way: the new bytes over the old ones, then the file cut to their
// length. Only the file that was resolved is written, never what took its
// place meanwhile.
Result writeInPlace(const ResolvedTarget& resolved, const QByteArray& bytes)
{
    const int fd = ::open(resolved.target.path.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Result::Refused;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_dev != resolved.status.st_dev
        || status.st_ino != resolved.status.st_ino) {
        ::close(fd);
        return Result::Refused;
    }
    const bool isWritten = WriteAll(fd, bytes) && ::ftruncate(fd, bytes.size()) == 0;
    return ::close(fd) == 0 && isWritten ? Result::Replaced : Result::WriteFailed;
}

} // namespace

std::optional<Target> ResolveTarget(const QString& fileName)
{
    const auto resolved = resolve(fileName);
    if (!resolved || !isWritable(*resolved))
        return std::nullopt;
    return resolved->target;
}

Result Replace(const QString& fileName, const QByteArray& bytes, NewFile newFile)
{
    const auto resolved = resolve(fileName);
    if (!resolved || !isWritable(*resolved))
        return Result::Refused;
    switch (replaceWhole(*resolved, bytes, newFile)) {
    case Outcome::Done:
        if (ReplacedObserver)
            ReplacedObserver(resolved->target.path);
        return Result::Replaced;
    case Outcome::WriteFailed:
        return Result::WriteFailed;
    case Outcome::Refused:
        return Result::Refused;
    case Outcome::NotReplaceable:
        break;
    }
    return writeInPlace(*resolved, bytes);
}

} // namespace FileReplacement
