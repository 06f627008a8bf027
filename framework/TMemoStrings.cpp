#include "TMemoStrings.h"

#include "Exception.h"
#include "TMemo.h"

#include <QFile>
#include <QTextBlock>

#include <cerrno>
#include <fcntl.h>
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
    if (!block.isValid())
        return {};
    QString line = block.text();
    if (line.size() > MaxLineLength) {
        // A cut between the halves of a surrogate pair would leave half a character.
        const bool splitsPair = line.at(MaxLineLength - 1).isHighSurrogate();
        line.truncate(splitsPair ? MaxLineLength - 1 : MaxLineLength);
    }
    return line;
}

QString TMemoStrings::Text() const
{
    return m_memo->Text();
}

void TMemoStrings::SaveToFile(const QString& fileName) const
{
    const QByteArray path = QFile::encodeName(fileName);
    FileDescriptor fd(::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (fd.get() < 0)
        throw EFCreateError(QStringLiteral("Cannot create file %1").arg(fileName));
    const QByteArray bytes = Text().toUtf8();
    if (!writeAll(fd.get(), bytes))
        throw EWriteError(QStringLiteral("Stream write error"));
    // A failing close can mean the data never reached the disk.
    if (::close(fd.release()) != 0 && !bytes.isEmpty())
        throw EWriteError(QStringLiteral("Stream write error"));
}
