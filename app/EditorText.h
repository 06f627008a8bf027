#pragma once

#include <QString>

class QTextDocument;

// The editor's text as the preview has it, and places carried between the
// two while they differ.
class EditorText {
public:
    // The editor's text with each line break as one character, as the page
    // has it (the preview file's CR LF and lone CR become LF when it is read).
    static QString of(const QTextDocument& document);

    // How many characters the two texts share at their start.
    static qsizetype sharedPrefix(const QString& a, const QString& b);

    // A place of one text in the other: the same place before their first
    // difference, moved by the change in length after their last one, and
    // the start of the difference inside it.
    static qsizetype carry(qsizetype place, const QString& from, const QString& to);
};
