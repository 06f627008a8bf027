#include "TMemoStrings.h"

#include "Exception.h"

#include <QFile>
#include <QTextBlock>
#include <QTextDocument>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens the file for writing without ever blocking: only a regular file (or a
// new one) is written, so a FIFO or a device in its place fails at once
// instead of hanging the program. The file is emptied only once it is open.
bool openForRewrite(QFile& file, const QString& fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return false;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return false;
    }
    return file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
}

// The document keeps paragraph and line separators; the editor's text uses
// CR LF for both.
QString withCrLf(QString text)
{
    text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    text.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
    return text;
}

} // namespace

TMemoStrings::TMemoStrings(const QTextDocument* document)
    : m_document(document)
{
}

int TMemoStrings::Count() const
{
    const int blocks = m_document->blockCount();
    return m_document->lastBlock().text().isEmpty() ? blocks - 1 : blocks;
}

QString TMemoStrings::Strings(int index) const
{
    const QTextBlock block = m_document->findBlockByNumber(index);
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
    return withCrLf(m_document->toRawText());
}

// The text is encoded before the file is touched, so the file is short only
// while it is being written.
void TMemoStrings::SaveToFile(const QString& fileName) const
{
    const QByteArray bytes = Text().toUtf8();
    QFile file;
    if (!openForRewrite(file, fileName))
        throw EFCreateError(QStringLiteral("Cannot create file %1").arg(fileName));
    file.write(bytes);
    // Flushing and closing report what a short write left unsaid; a failing
    // close can mean the data never reached the disk.
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw EWriteError(QStringLiteral("Stream write error"));
}
