#include "controls/TMemoStrings.h"

#include "editor/MemoText.h"
#include "core/Exception.h"
#include "platform/FileReplacement.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

TMemoStrings::TMemoStrings(const QTextDocument* document)
    : m_document(document)
{
}

int TMemoStrings::Count() const
{
    const int blocks = m_document->blockCount();
    return m_document->lastBlock().length() <= 1 ? blocks - 1 : blocks;
}

QString TMemoStrings::Strings(int index) const
{
    const QTextBlock block = m_document->findBlockByNumber(index);
    if (!block.isValid())
        return {};
    // A line of many megabytes is read no further than the cut.
    const int end = block.position() + std::min(block.length() - 1, MaxLineLength);
    QString line = MemoText::read(m_document, block.position(), end);
    if (line.size() == MaxLineLength) {
        // A cut between the halves of a surrogate pair would leave half a character.
        const bool splitsPair = line.at(MaxLineLength - 1).isHighSurrogate();
        line.truncate(splitsPair ? MaxLineLength - 1 : MaxLineLength);
    }
    return line;
}

QString TMemoStrings::Text() const
{
    return WithCrLf(RawText());
}

QString TMemoStrings::RawText() const
{
    return m_document->toRawText();
}

// The document keeps paragraph and line separators; the editor's text uses
// CR LF for both.
QString TMemoStrings::WithCrLf(QString rawText)
{
    rawText.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    rawText.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
    return rawText;
}

// The file is replaced whole, so that a reader (the preview page, the crash
// recovery) finds the old text or the new one, never a mix. The user's text
// is private: a new file is readable by its owner only.
void TMemoStrings::SaveToFile(const QString& fileName) const
{
    const QByteArray bytes = Text().toUtf8();
    switch (FileReplacement::Replace(fileName, bytes, FileReplacement::NewFile::Private)) {
    case FileReplacement::Result::Replaced:
        return;
    case FileReplacement::Result::Refused:
        throw EFCreateError(QStringLiteral("Cannot create file %1").arg(fileName));
    case FileReplacement::Result::WriteFailed:
        throw EWriteError(QStringLiteral("Stream write error"));
    }
}
