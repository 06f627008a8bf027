#include "platform/RegularFile.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool OpenRegularFile(QFile& file, const QString& fileName, QIODevice::OpenMode mode)
{
    const bool isWrite = mode.testFlag(QIODevice::WriteOnly);
    const int flags = (isWrite ? O_WRONLY | O_CREAT : O_RDONLY) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    const int fd = ::open(QFile::encodeName(fileName).constData(), flags, 0666);
    if (fd < 0)
        return false;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || !file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        errno = EINVAL;
        return false;
    }
    return true;
}

std::optional<QByteArray> ReadRegularFile(const QString& fileName, qint64 maxSize)
{
    QFile file;
    if (!OpenRegularFile(file, fileName, QIODevice::ReadOnly))
        return errno == ENOENT ? std::optional(QByteArray()) : std::nullopt;
    if (file.size() > maxSize)
        return std::nullopt;
    // In pieces, since a file may grow while it is read.
    constexpr qint64 PieceSize = 1024 * 1024;
    QByteArray bytes;
    bytes.reserve(file.size());
    for (;;) {
        const QByteArray piece = file.read(qMin(PieceSize, maxSize + 1 - bytes.size()));
        if (piece.isEmpty())
            break;
        bytes += piece;
        if (bytes.size() > maxSize)
            return std::nullopt;
    }
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

std::optional<QByteArray> ReadOwnRegularFile(const QString& fileName, qint64 maxSize)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat status {};
    QFile file;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()
        || status.st_size > maxSize || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError || bytes.size() > maxSize)
        return std::nullopt;
    return bytes;
}

bool ReplacePrivately(const QString& fileName, const QByteArray& bytes)
{
    const QByteArray path = QFile::encodeName(fileName);
    QByteArray temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool isWritten = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && WriteAll(fd, bytes);
    if (::close(fd) != 0 || !isWritten || ::rename(temporary.constData(), path.constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

bool WriteAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}
