#include "TMemoStrings.h"

#include "Exception.h"
#include "RegularFile.h"

#include <QFile>
#include <QTextBlock>
#include <QTextDocument>

namespace {

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

// The text is encoded before the file is touched, so the file is changed
// only by the write itself.
void TMemoStrings::SaveToFile(const QString& fileName) const
{
    const QByteArray bytes = Text().toUtf8();
    QFile file;
    if (!OpenRegularFile(file, fileName, QIODevice::WriteOnly))
        throw EFCreateError(QStringLiteral("Cannot create file %1").arg(fileName));
    // The new text goes over the old one and the file is cut to its length
    // after: emptying a file that holds data and writing it again makes the
    // file system commit the emptied file at once, which costs several times
    // the write itself.
    if (file.write(bytes) == bytes.size() && file.flush() && file.size() > bytes.size())
        file.resize(bytes.size());
    // Closing reports what a short write left unsaid; a failing close can
    // mean the data never reached the disk.
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw EWriteError(QStringLiteral("Stream write error"));
}
