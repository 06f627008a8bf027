#pragma once

#include <QString>

class QTextDocument;

// The editor's line store. It keeps no text of its own: every operation reads
// the editor's document. The whole text has CR LF line breaks and is saved
// byte for byte.
class TMemoStrings {
public:
    explicit TMemoStrings(const QTextDocument* document);

    static constexpr int MaxLineLength = 4096;

    // The number of lines, not counting an empty last line.
    int Count() const;
    // One line without its break, cut to MaxLineLength characters.
    QString Strings(int index) const;
    QString Text() const;
    // The text with the document's own line and paragraph separators, and
    // the same turned into the text Text() gives: a copy of the document
    // alone, and the rest on any thread.
    QString RawText() const;
    static QString WithCrLf(QString rawText);

    // Replaces the file's content with the whole text as UTF-8: nothing
    // added, no byte-order mark; a reader sees the old text or the new one.
    // Throws EFCreateError when the file cannot be created or is not a
    // regular file, and EWriteError when not every byte was written (the old
    // file then stays as it was).
    void SaveToFile(const QString& fileName) const;

private:
    const QTextDocument* m_document;
};
