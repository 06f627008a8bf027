#pragma once

#include "app/typing/TexScanner.h"
#include "app/typing/TexToken.h"

#include <QObject>

#include <map>

class QTextDocument;
class TexText;

// The editor's document as TeX: the tokens of any stretch of it, scanned
// from the nearest state known before the stretch. States are kept every few
// thousand characters as scans pass them and dropped when an edit reaches
// the text they were read from, so a key in a line of many megabytes scans
// only around what is shown.
class TexSource : public QObject {
    Q_OBJECT

public:
    explicit TexSource(QTextDocument* document);

    QTextDocument* document() const { return m_document; }
    // The tokens that meet the stretch from one position to another.
    TexTokens tokensIn(int from, int to);
    // The document's text as the scanner reads it (line breaks as LF).
    TexText text() const;
    // Counts every change of the text.
    quint64 revision() const { return m_revision; }

private:
    void onContentsChange(int from, int removed, int added);
    void updateOpening(int from, int added);
    int length() const;

    QTextDocument* m_document;
    std::map<int, TexScanner::State> m_states;
    // Where the first opening delimiter is (-1: none; -2: not known yet).
    int m_firstOpening = -2;
    quint64 m_revision = 0;
};
