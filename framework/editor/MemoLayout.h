#pragma once

#include <QAbstractTextDocumentLayout>
#include <QCache>
#include <QFont>
#include <QList>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextLayout>

#include <functional>

class QPainter;
class MemoPieces;
struct MemoPiece;

// How the editor's lines are laid out and drawn. A line is laid out in
// pieces of a few thousand characters, and only the pieces that are shown or
// measured are laid out: a key in a line of ten million characters lays out
// one piece, and a line nobody looks at costs nothing but its text. The
// width of a piece not laid out yet is estimated from the line's first
// piece. Lines run on to the right, or wrap at a width; either way every row
// has the same height, and the document's line numbers count the rows.
//
// The layout is the document's own, so it hears of every change the
// document makes, whoever makes it.
class MemoLayout : public QAbstractTextDocumentLayout {
    Q_OBJECT

public:
    explicit MemoLayout(QTextDocument* document);
    ~MemoLayout() override;

    void setFont(const QFont& font);
    // The width lines wrap at; 0 lets them run on.
    void setWrapWidth(qreal width);
    qreal wrapWidth() const { return m_wrapWidth; }

    // Colours of stretches of the text (positions from the document's
    // start), asked for each piece as it is laid out and drawn; the
    // highlights are drawn over them.
    using Colouring = std::function<QList<QTextLayout::FormatRange>(int from, int to)>;
    void setColouring(Colouring colouring);

    int rowHeight() const { return m_rowHeight; }
    int rowCount() const;
    // The widest line measured so far.
    qreal widestLine() const { return m_widestLine; }

    // A position's row and its distance from the line's left edge.
    struct Place {
        int row = 0;
        qreal x = 0;
    };
    Place placeOf(int position);
    // The position nearest to a distance from the left edge in a row.
    int positionAt(int row, qreal x);
    // The first and last position shown in a row.
    std::pair<int, int> rowSpan(int row);

    struct Highlight {
        int from = 0;
        int to = 0;
        QTextCharFormat format;
    };
    // Text the input method is composing at a position, drawn but not yet
    // in the document.
    struct Composition {
        int position = -1;
        QString text;
        QList<QTextLayout::FormatRange> formats;
        int caret = 0;
    };
    // Draws the rows that meet the clip. The origin is where the left edge
    // of the first row's top lies; the caret is a position or -1.
    void draw(QPainter* painter, QPointF origin, const QRectF& clip, const QList<Highlight>& highlights,
        int caret, const Composition& composition);

    // The toolkit's document layout interface; the editor lays the text out
    // itself, so these say little.
    void draw(QPainter*, const PaintContext&) override { }
    int hitTest(const QPointF&, Qt::HitTestAccuracy) const override { return -1; }
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override { return { m_widestLine, qreal(rowCount() * m_rowHeight) }; }
    QRectF frameBoundingRect(QTextFrame*) const override { return {}; }
    QRectF blockBoundingRect(const QTextBlock&) const override { return {}; }

signals:
    // The number of rows or the widest line changed.
    void extentChanged();

protected:
    void documentChanged(int from, int removed, int added) override;

private:
    struct PieceLayout;
    MemoPieces& piecesOf(const QTextBlock& block);
    int rowsOfPiece(const MemoPiece& piece, qreal charWidth) const;
    qreal widthOfPiece(const MemoPiece& piece, qreal charWidth) const;
    qreal originOf(const MemoPieces& pieces, int index) const;
    QTextLayout* layoutOf(const QTextBlock& block, int index);
    void measureAround(const QTextBlock& block, int index);
    void measureBefore(const QTextBlock& block, int index);
    int rowsOf(const QTextBlock& block);
    qreal widthOf(const QTextBlock& block);
    void noteWidth(qreal width);
    int layOutLines(QTextLayout* layout, qreal& width) const;
    void recolour(QTextLayout* layout, int start, int end) const;
    void drawLine(QPainter* painter, const QTextBlock& block, QPointF topLeft, const QRectF& clip,
        const QList<Highlight>& highlights, int caret, const Composition& composition);
    void drawPiece(QPainter* painter, const QTextBlock& block, int index, QPointF topLeft, const QRectF& clip,
        const QList<Highlight>& highlights, int caret, const Composition& composition);
    void relayOut();

    QFont m_font;
    int m_rowHeight = 1;
    qreal m_charWidth = 1;
    qreal m_wrapWidth = 0;
    qreal m_widestLine = 0;
    int m_epoch = 1;
    QCache<quint64, QTextLayout> m_layouts;
    Colouring m_colouring;
};
