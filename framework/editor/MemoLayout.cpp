#include "editor/MemoLayout.h"

#include "editor/MemoPieces.h"
#include "editor/MemoText.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace {

// The laid-out pieces kept, counted in characters: enough for the pieces on
// screen and those around the caret many times over.
constexpr int KeptCharacters = 1 << 20;

// Up to this many pieces before a place are measured rather than estimated.
constexpr int ExactPieces = 256;

bool isMeasured(const MemoPiece& piece, int epoch)
{
    return piece.epoch == epoch;
}

} // namespace

int MemoLayout::rowsOfPiece(const MemoPiece& piece, qreal charWidth) const
{
    if (isMeasured(piece, m_epoch))
        return piece.rows;
    return std::max(1, int(std::ceil(piece.length * charWidth / m_wrapWidth)));
}

qreal MemoLayout::widthOfPiece(const MemoPiece& piece, qreal charWidth) const
{
    return isMeasured(piece, m_epoch) ? piece.width : piece.length * charWidth;
}

namespace {

// The line's tab stops as seen from a piece that starts at an origin in it,
// as far as the piece's text can reach.
QList<QTextOption::Tab> tabStops(qreal distance, qreal origin, const QString& text, const QFont& font)
{
    if (distance <= 0)
        distance = 80;
    const qsizetype tabs = text.count(u'\t');
    const qreal reach = origin + (text.size() - tabs) * QFontMetricsF(font).maxWidth() + tabs * distance;
    QList<QTextOption::Tab> stops;
    for (qreal stop = (std::floor(origin / distance) + 1) * distance; stop <= reach + distance; stop += distance)
        stops.append(QTextOption::Tab(stop - origin, QTextOption::LeftTab));
    return stops;
}

} // namespace

MemoLayout::MemoLayout(QTextDocument* document)
    : QAbstractTextDocumentLayout(document)
    , m_layouts(KeptCharacters)
{
    setFont(document->defaultFont());
    // First of the document's listeners, so the others run with it set.
    connect(document, &QTextDocument::contentsChange, this,
        [document] { document->setProperty(MemoText::ChangingProperty, true); });
}

MemoLayout::~MemoLayout() = default;

void MemoLayout::setFont(const QFont& font)
{
    m_font = font;
    // Rows lie as far apart as the toolkit's own text lines do: a line laid
    // out is the font's height rounded up, and the stock editors page by it.
    QTextLayout probe(QStringLiteral("x"), font);
    probe.beginLayout();
    const QTextLine line = probe.createLine();
    probe.endLayout();
    m_rowHeight = std::max(1, int(std::ceil(line.height())));
    m_charWidth = std::max(1.0, QFontMetricsF(font).averageCharWidth());
    relayOut();
}

void MemoLayout::setWrapWidth(qreal width)
{
    width = std::max(0.0, width);
    if (width == m_wrapWidth)
        return;
    m_wrapWidth = width;
    relayOut();
}

// Every piece is measured again when next needed, and every line counts one
// row until then.
void MemoLayout::relayOut()
{
    ++m_epoch;
    m_layouts.clear();
    m_widestLine = 0;
    for (QTextBlock block = document()->firstBlock(); block.isValid(); block = block.next()) {
        if (block.lineCount() != 1)
            block.setLineCount(1);
        if (auto* pieces = static_cast<MemoPieces*>(block.userData()))
            pieces->charWidth = 0;
    }
    emit extentChanged();
}

int MemoLayout::rowCount() const
{
    return document()->lineCount();
}

void MemoLayout::documentChanged(int from, int removed, int added)
{
    document()->setProperty(MemoText::ChangingProperty, false);
    const QTextBlock first = document()->findBlock(from);
    if (MemoPieces::followEdit(first, from, removed, added))
        return;
    const QTextBlock last = document()->findBlock(from + added);
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        block.setUserData(nullptr);
        if (block == last)
            break;
    }
}

MemoPieces& MemoLayout::piecesOf(const QTextBlock& block)
{
    MemoPieces& pieces = MemoPieces::of(block);
    if (pieces.charWidth == 0) {
        // The line's first piece sets the estimate for the rest.
        pieces.charWidth = m_charWidth;
        const QTextLayout* first = layoutOf(block, 0);
        const MemoPiece& piece = pieces.pieces.first();
        if (piece.length > 0 && first->lineCount() > 0)
            pieces.charWidth = std::max(0.01, piece.width / piece.length);
    }
    return pieces;
}

// A piece laid out: taken from those kept, or laid out now and measured.
QTextLayout* MemoLayout::layoutOf(const QTextBlock& block, int index)
{
    MemoPieces& pieces = MemoPieces::of(block);
    MemoPiece& piece = pieces.pieces[index];
    if (isMeasured(piece, m_epoch)) {
        QTextLayout* kept = m_layouts.object(piece.id);
        // A piece with a tab is laid out again when the line before it moved.
        if (kept && (!piece.hasTab || std::abs(originOf(pieces, index) - piece.origin) < 0.01))
            return kept;
    }
    const int start = block.position() + piece.start;
    const QString text = MemoText::read(document(), start, start + piece.length);
    piece.hasTab = text.contains(u'\t');
    piece.origin = piece.hasTab ? originOf(pieces, index) : 0;
    auto* layout = new QTextLayout(text, m_font);
    layout->setCacheEnabled(true);
    QTextOption option = document()->defaultTextOption();
    option.setWrapMode(m_wrapWidth > 0 ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    if (piece.hasTab)
        option.setTabs(tabStops(option.tabStopDistance(), piece.origin, text, m_font));
    layout->setTextOption(option);
    if (m_colouring)
        layout->setFormats(m_colouring(start, start + piece.length));
    qreal width = 0;
    const int rows = layOutLines(layout, width);
    piece.epoch = m_epoch;
    piece.width = width;
    piece.rows = std::max(1, rows);
    m_layouts.insert(piece.id, layout, std::max(1, piece.length));
    return m_layouts.object(piece.id);
}

int MemoLayout::layOutLines(QTextLayout* layout, qreal& width) const
{
    layout->beginLayout();
    int rows = 0;
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(m_wrapWidth > 0 ? m_wrapWidth : 1e9);
        line.setPosition(QPointF(0, rows * m_rowHeight));
        width = std::max(width, line.naturalTextWidth());
        ++rows;
    }
    layout->endLayout();
    return rows;
}

void MemoLayout::setColouring(Colouring colouring)
{
    m_colouring = std::move(colouring);
    relayOut();
}

// A piece is coloured when it is laid out; an edit before it may change its
// colours without changing its text, so a piece drawn is asked again.
void MemoLayout::recolour(QTextLayout* layout, int start, int end) const
{
    if (!m_colouring)
        return;
    QList<QTextLayout::FormatRange> formats = m_colouring(start, end);
    if (formats == layout->formats())
        return;
    layout->setFormats(formats);
    qreal width = 0;
    layOutLines(layout, width);
}

// Where a piece starts in its line, as far as known. A wrapped line starts
// a row with every piece, whose tabs then count from the row's start.
qreal MemoLayout::originOf(const MemoPieces& pieces, int index) const
{
    qreal x = 0;
    for (int i = 0; m_wrapWidth <= 0 && i < index; ++i)
        x += widthOfPiece(pieces.pieces[i], pieces.charWidth);
    return x;
}

// The pieces next to one that is shown are laid out with it: a window is
// far narrower than a piece, so whatever is shown around a place is then
// measured, and the places on screen do not move as it is drawn.
void MemoLayout::measureAround(const QTextBlock& block, int index)
{
    const int count = int(MemoPieces::of(block).pieces.size());
    for (int i = std::max(0, index - 1); i <= std::min(count - 1, index + 1); ++i)
        layoutOf(block, i);
}

// The pieces before one are measured, so that a place in the line is where
// the line laid out whole would have it, and Up and Down keep the column
// to the pixel. Far into a line of many megabytes the estimate stands in
// for them; a measure, once taken, is kept until the piece changes.
void MemoLayout::measureBefore(const QTextBlock& block, int index)
{
    if (index > ExactPieces)
        return;
    for (int i = 0; i < index; ++i) {
        if (!isMeasured(MemoPieces::of(block).pieces[i], m_epoch))
            layoutOf(block, i);
    }
}

int MemoLayout::rowsOf(const QTextBlock& block)
{
    if (m_wrapWidth <= 0)
        return 1;
    const MemoPieces& pieces = piecesOf(block);
    int rows = 0;
    for (const MemoPiece& piece : pieces.pieces) {
        rows += rowsOfPiece(piece, pieces.charWidth);
    }
    if (rows != block.lineCount()) {
        const_cast<QTextBlock&>(block).setLineCount(rows);
        emit extentChanged();
    }
    return rows;
}

qreal MemoLayout::widthOf(const QTextBlock& block)
{
    const MemoPieces& pieces = piecesOf(block);
    qreal width = 0;
    for (const MemoPiece& piece : pieces.pieces)
        width += widthOfPiece(piece, pieces.charWidth);
    noteWidth(width);
    return width;
}

void MemoLayout::noteWidth(qreal width)
{
    if (width <= m_widestLine)
        return;
    m_widestLine = width;
    emit extentChanged();
}

MemoLayout::Place MemoLayout::placeOf(int position)
{
    const QTextBlock block = document()->findBlock(position);
    if (!block.isValid())
        return {};
    const MemoPieces& pieces = piecesOf(block);
    const int offset = position - block.position();
    const int index = pieces.indexOf(offset);
    measureBefore(block, index);
    measureAround(block, index);
    Place place { block.firstLineNumber(), 0 };
    for (int i = 0; i < index; ++i) {
        const MemoPiece& piece = pieces.pieces[i];
        if (m_wrapWidth > 0)
            place.row += rowsOfPiece(piece, pieces.charWidth);
        else
            place.x += widthOfPiece(piece, pieces.charWidth);
    }
    if (m_wrapWidth > 0)
        rowsOf(block);
    else
        widthOf(block);
    const QTextLayout* layout = layoutOf(block, index);
    const int inPiece = offset - pieces.pieces[index].start;
    const QTextLine line = layout->lineForTextPosition(inPiece);
    if (line.isValid()) {
        place.x += line.cursorToX(inPiece);
        place.row += line.lineNumber();
    }
    return place;
}

int MemoLayout::positionAt(int row, qreal x)
{
    const int rows = rowCount();
    if (row >= rows)
        return document()->characterCount() - 1;
    const QTextBlock block = document()->findBlockByLineNumber(std::max(0, row));
    const MemoPieces& pieces = piecesOf(block);
    int rowInLine = std::max(0, row) - block.firstLineNumber();
    // Find the piece again until it stays: laying out the one found, its
    // neighbours and those before it changes the estimates that found it.
    int index = 0;
    qreal left = 0;
    for (int pass = 0, found = -1; pass < 4; ++pass) {
        index = 0;
        left = 0;
        int rowsBefore = 0;
        const int count = int(pieces.pieces.size());
        for (; index < count - 1; ++index) {
            const MemoPiece& piece = pieces.pieces[index];
            if (m_wrapWidth > 0) {
                const int pieceRows = rowsOfPiece(piece, pieces.charWidth);
                if (rowInLine < rowsBefore + pieceRows)
                    break;
                rowsBefore += pieceRows;
            } else {
                const qreal width = widthOfPiece(piece, pieces.charWidth);
                if (x < left + width)
                    break;
                left += width;
            }
        }
        if (index == found || pass == 3) {
            rowInLine -= rowsBefore;
            break;
        }
        found = index;
        measureBefore(block, index);
        measureAround(block, index);
    }
    const QTextLayout* layout = layoutOf(block, index);
    const QTextLine line = layout->lineAt(std::clamp(rowInLine, 0, layout->lineCount() - 1));
    const int inPiece = line.isValid() ? line.xToCursor(x - left) : 0;
    return block.position() + pieces.pieces[index].start + inPiece;
}

std::pair<int, int> MemoLayout::rowSpan(int row)
{
    const QTextBlock block = document()->findBlockByLineNumber(std::clamp(row, 0, rowCount() - 1));
    if (m_wrapWidth <= 0)
        return { block.position(), block.position() + block.length() - 1 };
    const int start = positionAt(row, 0);
    const QTextBlock line = document()->findBlock(start);
    const MemoPieces& pieces = piecesOf(line);
    const int index = pieces.indexOf(start - line.position());
    const QTextLayout* layout = layoutOf(line, index);
    const int pieceStart = line.position() + pieces.pieces[index].start;
    const QTextLine shown = layout->lineForTextPosition(start - pieceStart);
    return { start, pieceStart + shown.textStart() + shown.textLength() };
}

void MemoLayout::draw(QPainter* painter, QPointF origin, const QRectF& clip, const QList<Highlight>& highlights,
    int caret, const Composition& composition)
{
    const int first = std::max(0, int(std::floor((clip.top() - origin.y()) / m_rowHeight)));
    QTextBlock block = document()->findBlockByLineNumber(std::min(first, rowCount() - 1));
    if (!block.isValid())
        return;
    qreal top = origin.y() + block.firstLineNumber() * m_rowHeight;
    while (block.isValid() && top <= clip.bottom()) {
        drawLine(painter, block, QPointF(origin.x(), top), clip, highlights, caret, composition);
        top += rowsOf(block) * m_rowHeight;
        block = block.next();
    }
}

void MemoLayout::drawLine(QPainter* painter, const QTextBlock& block, QPointF topLeft, const QRectF& clip,
    const QList<Highlight>& highlights, int caret, const Composition& composition)
{
    const MemoPieces& pieces = piecesOf(block);
    QPointF at = topLeft;
    const int count = int(pieces.pieces.size());
    for (int i = 0; i < count; ++i) {
        const MemoPiece& estimate = pieces.pieces[i];
        const qreal extent = m_wrapWidth > 0 ? rowsOfPiece(estimate, pieces.charWidth) * m_rowHeight
                                             : widthOfPiece(estimate, pieces.charWidth);
        const bool before = m_wrapWidth > 0 ? at.y() + extent < clip.top() : at.x() + extent < clip.left();
        const bool after = m_wrapWidth > 0 ? at.y() > clip.bottom() : at.x() > clip.right();
        if (after)
            break;
        if (!before) {
            drawPiece(painter, block, i, at, clip, highlights, caret, composition);
            if (m_wrapWidth > 0)
                at.ry() += pieces.pieces[i].rows * m_rowHeight;
            else
                at.rx() += pieces.pieces[i].width;
        } else if (m_wrapWidth > 0) {
            at.ry() += extent;
        } else {
            at.rx() += extent;
        }
    }
    if (m_wrapWidth > 0)
        rowsOf(block);
    else
        widthOf(block);
}

void MemoLayout::drawPiece(QPainter* painter, const QTextBlock& block, int index, QPointF topLeft, const QRectF& clip,
    const QList<Highlight>& highlights, int caret, const Composition& composition)
{
    QTextLayout* layout = layoutOf(block, index);
    const MemoPiece& piece = MemoPieces::of(block).pieces[index];
    const bool isLast = index == MemoPieces::of(block).pieces.size() - 1;
    const int start = block.position() + piece.start;
    const int end = start + piece.length;
    recolour(layout, start, end);
    const auto holds = [&](int position) { return position >= start && (position < end || (isLast && position == end)); };

    QList<QTextLayout::FormatRange> ranges;
    for (const Highlight& highlight : highlights) {
        const int from = std::max(highlight.from, start);
        const int to = std::min(highlight.to, end);
        if (from < to)
            ranges.append({ from - start, to - from, highlight.format });
        // A highlight over the line break shows as a space's width after the line.
        if (isLast && highlight.from <= end && highlight.to > end) {
            const QTextLine last = layout->lineAt(layout->lineCount() - 1);
            const qreal x = topLeft.x() + last.naturalTextWidth();
            const QRectF mark(x, topLeft.y() + last.y(), QFontMetricsF(m_font).horizontalAdvance(u' '), m_rowHeight);
            painter->fillRect(mark, highlight.format.background());
        }
    }

    if (composition.position >= 0 && !composition.text.isEmpty() && holds(composition.position)) {
        // The text being composed is laid out with the piece, not kept.
        QTextLayout composed(layout->text(), m_font);
        composed.setTextOption(layout->textOption());
        composed.setPreeditArea(composition.position - start, composition.text);
        // The input method's formats count from the composition's start.
        QList<QTextLayout::FormatRange> formats = composition.formats;
        for (QTextLayout::FormatRange& format : formats)
            format.start += composition.position - start;
        composed.setFormats(formats);
        composed.beginLayout();
        int rows = 0;
        for (QTextLine line = composed.createLine(); line.isValid(); line = composed.createLine()) {
            line.setLineWidth(m_wrapWidth > 0 ? m_wrapWidth : 1e9);
            line.setPosition(QPointF(0, rows++ * m_rowHeight));
        }
        composed.endLayout();
        composed.draw(painter, topLeft, {}, clip);
        composed.drawCursor(painter, topLeft, composition.position - start + composition.caret);
        return;
    }
    layout->draw(painter, topLeft, ranges, clip);
    if (caret >= 0 && holds(caret))
        layout->drawCursor(painter, topLeft, caret - start);
}
