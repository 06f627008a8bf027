#include "TMemoStrings.h"

#include "Exception.h"
#include "TMemo.h"

#include <QFile>
#include <QTextBlock>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes the descriptor on every way out of the save.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const QByteArray& bytes)
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

} // namespace

TMemoStrings::TMemoStrings(TMemo* memo)
    : m_memo(memo)
{
}

int TMemoStrings::Count() const
{
    const QTextDocument* document = m_memo->document();
    const int blocks = document->blockCount();
    return document->lastBlock().text().isEmpty() ? blocks - 1 : blocks;
}

QString TMemoStrings::Strings(int index) const
{
    const QTextBlock block = m_memo->document()->findBlockByNumber(index);
    return block.isValid() ? block.text().left(MaxLineLength) : QString();
}

QString TMemoStrings::Text() const
{
    return m_memo->Text();
}

// The text is encoded before the file is touched, so the file is short only
// while it is written. The file is opened without blocking and written only
// when it is a regular file: a FIFO or a device of that name would otherwise
// hang the program or swallow the text. Such a file is left as it was.
void TMemoStrings::SaveToFile(const QString& fileName) const
{
    const QByteArray bytes = Text().toUtf8();
    const QByteArray path = QFile::encodeName(fileName);
    FileDescriptor fd(::open(path.constData(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
    struct stat status {};
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        throw EFCreateError(QStringLiteral("Cannot create file %1").arg(fileName));
    if (::ftruncate(fd.get(), 0) != 0)
        throw EFCreateError(QStringLiteral("Cannot create file %1").arg(fileName));
    if (!writeAll(fd.get(), bytes))
        throw EWriteError(QStringLiteral("Stream write error"));
    // A failing close can mean the data never reached the disk.
    if (::close(fd.release()) != 0 && !bytes.isEmpty())
        throw EWriteError(QStringLiteral("Stream write error"));
}
