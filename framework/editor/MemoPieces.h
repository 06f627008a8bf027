#pragma once

#include <QList>
#include <QTextBlock>

class QTextDocument;

// One stretch of a line, laid out on its own. Its width and rows are known
// once it has been laid out in the current layout epoch, estimated before.
struct MemoPiece {
    int start = 0; // from the line's start
    int length = 0;
    quint64 id = 0; // new whenever the piece's text changes
    int epoch = 0; // the layout epoch its measures come from; 0 for none
    qreal width = 0;
    int rows = 1;
    // Where in the line a piece that holds a tab was laid out from, so that
    // its tabs stop where the line's do; 0 for other pieces.
    qreal origin = 0;
    bool hasTab = false;
};

// A line cut into pieces of about PieceLength characters, cut after a space
// where one is near and never inside a character; a line shorter than two
// pieces is one piece. Kept with the line in the document.
class MemoPieces : public QTextBlockUserData {
public:
    static constexpr int PieceLength = 4096;

    // The line's pieces, built anew when the line is not the one they were
    // cut from.
    static MemoPieces& of(const QTextBlock& block);

    // Follows an edit inside the line: the pieces it touched are cut again,
    // the ones after it move. False when the edit was not inside this line.
    static bool followEdit(const QTextBlock& block, int from, int removed, int added);

    QList<MemoPiece> pieces;
    int length = 0; // of the line's text
    qreal charWidth = 0; // the estimate for pieces not laid out, 0 until known

    // The piece that holds a position of the line (the last one for its end).
    int indexOf(int offset) const;

private:
    static QList<MemoPiece> cut(const QTextBlock& block, int from, int to);
};
