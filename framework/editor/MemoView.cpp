#include "editor/MemoView.h"

#include "editor/MemoText.h"
#include "editor/MemoUndo.h"
#include "core/ExceptionBoundary.h"

#include <QApplication>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace {

// The space between the frame and the text, as the toolkit's editors leave it.
constexpr int Margin = 4;

} // namespace

MemoView::MemoView(QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_document(new QTextDocument(this))
    , m_layout(new MemoLayout(m_document))
    , m_undo(std::make_unique<MemoUndo>())
{
    m_document->setUndoRedoEnabled(false);
    m_document->setDocumentLayout(m_layout);
    m_cursor = QTextCursor(m_document);
    resize(185, 89);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    m_layout->setFont(font());
    // Every end of an edit block reports the contents changed, even one
    // that only placed a cursor; a change of the text reports where.
    connect(m_document, &QTextDocument::contentsChange, this, [this](int, int removed, int added) {
        if (removed != 0 || added != 0)
            onContentsChanged();
    });
    connect(m_layout, &MemoLayout::extentChanged, this, &MemoView::updateExtent, Qt::QueuedConnection);
    updateSelectionPalette();
    updateWrapping();
}

MemoView::~MemoView() = default;

bool MemoView::IsCaretBlinking() const
{
    return QApplication::cursorFlashTime() > 0;
}

void MemoView::onContentsChanged()
{
    if (!m_isEditing)
        m_undo->clear();
    updateExtent();
    viewport()->update();
    emit textChanged();
    if (!m_isAssigningText)
        guarded(this, [this] { OnChange(this); });
}


void MemoView::moveCursor(QTextCursor::MoveOperation operation, QTextCursor::MoveMode mode)
{
    const int position = m_cursor.position();
    const QTextBlock line = m_document->findBlock(position);
    const bool collapses = mode == QTextCursor::MoveAnchor && m_cursor.hasSelection();
    int target = position;
    bool toEdge = false;
    switch (operation) {
    case QTextCursor::Start: target = 0; break;
    case QTextCursor::End: target = m_document->characterCount() - 1; break;
    case QTextCursor::StartOfLine:
    case QTextCursor::StartOfBlock: target = line.position(); break;
    case QTextCursor::EndOfLine:
    case QTextCursor::EndOfBlock: target = line.position() + line.length() - 1; break;
    // A step left or right without Shift collapses a selection at its start
    // or its end.
    case QTextCursor::Left:
    case QTextCursor::PreviousCharacter:
        target = collapses ? m_cursor.selectionStart() : MemoText::previousCharacter(m_document, position);
        break;
    case QTextCursor::Right:
    case QTextCursor::NextCharacter:
        target = collapses ? m_cursor.selectionEnd() : MemoText::nextCharacter(m_document, position);
        break;
    case QTextCursor::WordLeft:
    case QTextCursor::PreviousWord: target = MemoText::previousWordStart(m_document, position); break;
    case QTextCursor::WordRight:
    case QTextCursor::NextWord: target = MemoText::nextWordStart(m_document, position); break;
    // Up or Down past the first or last row leaves the caret where it is,
    // and with Shift selects to the start or end of the text.
    case QTextCursor::Up:
        target = rowStep(-1);
        toEdge = target == position && mode == QTextCursor::KeepAnchor && m_layout->placeOf(position).row == 0;
        if (toEdge)
            target = 0;
        break;
    case QTextCursor::Down:
        target = rowStep(1);
        toEdge = target == position && mode == QTextCursor::KeepAnchor
            && m_layout->placeOf(position).row == m_layout->rowCount() - 1;
        if (toEdge)
            target = m_document->characterCount() - 1;
        break;
    default: {
        QTextCursor moved = m_cursor;
        moved.movePosition(operation, mode);
        target = moved.position();
    }
    }
    // A column kept through Up and Down, unless Shift took the caret to the
    // start or end of the text instead.
    const bool vertical = (operation == QTextCursor::Up || operation == QTextCursor::Down) && !toEdge;
    if (vertical && target == position && mode == QTextCursor::MoveAnchor) {
        // Nowhere to go: a selection stays as it is.
        m_undo->seal();
        return;
    }
    setCaret(target, mode, vertical);
    ensureCursorVisible();
}

// The position a row up or down from the caret, in the column it came from.
int MemoView::rowStep(int rows)
{
    const MemoLayout::Place place = m_layout->placeOf(m_cursor.position());
    const qreal x = m_goalX >= 0 ? m_goalX : place.x;
    m_goalX = x;
    // Past the first or the last row the caret stays where it is.
    const int row = std::clamp(place.row + rows, 0, m_layout->rowCount() - 1);
    if (row == place.row)
        return m_cursor.position();
    return m_layout->positionAt(row, x);
}

void MemoView::onCaretMoved(int oldPosition, int oldAnchor)
{
    const bool moved = m_cursor.position() != oldPosition;
    const bool selectionChangedToo = moved || m_cursor.anchor() != oldAnchor;
    if (!moved && !selectionChangedToo)
        return;
    m_caretShown = true;
    if (m_blink.isActive())
        m_blink.start(QApplication::cursorFlashTime() / 2, this);
    viewport()->update();
    if (moved)
        emit cursorPositionChanged();
    if (selectionChangedToo && (m_cursor.hasSelection() || oldPosition != oldAnchor)) {
        emit selectionChanged();
        emit copyAvailable(m_cursor.hasSelection());
    }
}

// The margin above the text scrolls away with the first row, so a scrolled
// view shows no sliver of the row above its top.
QPointF MemoView::origin() const
{
    const int top = verticalScrollBar()->value();
    return { qreal(Margin - horizontalScrollBar()->value()),
        qreal((top == 0 ? Margin : 0) - top * m_layout->rowHeight()) };
}

int MemoView::visibleRows() const
{
    return std::max(1, (viewport()->height() - Margin) / m_layout->rowHeight());
}

int MemoView::positionAt(const QPoint& point) const
{
    const QPointF at = QPointF(point) - origin();
    const int row = int(std::floor(at.y() / m_layout->rowHeight()));
    if (row < 0)
        return m_layout->positionAt(0, at.x());
    return m_layout->positionAt(row, at.x());
}

QTextCursor MemoView::cursorForPosition(const QPoint& point) const
{
    const int position = positionAt(point);
    return MemoText::cursor(m_document, position, position);
}

QRect MemoView::cursorRect(const QTextCursor& cursor) const
{
    const MemoLayout::Place place = m_layout->placeOf(cursor.position());
    const QPointF at = origin() + QPointF(place.x, qreal(place.row * m_layout->rowHeight()));
    return QRect(int(std::floor(at.x())), int(at.y()), 1, m_layout->rowHeight());
}

void MemoView::setExtraSelections(const QList<QTextEdit::ExtraSelection>& selections)
{
    m_extraSelections = selections;
    viewport()->update();
}

void MemoView::updateExtent()
{
    QScrollBar* vertical = verticalScrollBar();
    const int rows = visibleRows();
    vertical->setRange(0, std::max(0, m_layout->rowCount() - rows));
    vertical->setPageStep(rows);
    vertical->setSingleStep(1);
    QScrollBar* horizontal = horizontalScrollBar();
    const int width = viewport()->width();
    const int widest = m_layout->wrapWidth() > 0 ? 0 : int(std::ceil(m_layout->widestLine())) + 2 * Margin;
    horizontal->setRange(0, std::max(0, widest - width));
    horizontal->setPageStep(width);
    horizontal->setSingleStep(std::max(1, QFontMetrics(font()).averageCharWidth() * 2));
}

void MemoView::ensureCursorVisible()
{
    const MemoLayout::Place place = m_layout->placeOf(m_cursor.position());
    updateExtent();
    QScrollBar* vertical = verticalScrollBar();
    const int rows = visibleRows();
    if (place.row < vertical->value())
        vertical->setValue(place.row);
    else if (place.row >= vertical->value() + rows)
        vertical->setValue(place.row - rows + 1);
    // Sideways the view jumps by a part of its width, so the text the caret
    // runs into shows before it gets there.
    QScrollBar* horizontal = horizontalScrollBar();
    const int width = viewport()->width();
    const int x = int(place.x) + Margin;
    if (x < horizontal->value() + Margin)
        horizontal->setValue(x - width / 3);
    else if (x > horizontal->value() + width - Margin)
        horizontal->setValue(x - width * 2 / 3);
}

void MemoView::centerCursor()
{
    const MemoLayout::Place place = m_layout->placeOf(m_cursor.position());
    updateExtent();
    verticalScrollBar()->setValue(place.row - visibleRows() / 2);
    ensureCursorVisible();
}

void MemoView::scrollContentsBy(int dx, int dy)
{
    viewport()->update();
    emit updateRequest(viewport()->rect(), dy * m_layout->rowHeight());
    if (dx != 0 && dy == 0)
        emit updateRequest(viewport()->rect(), 0);
}

void MemoView::paintEvent(QPaintEvent* event)
{
    guarded(this, [&] {
        QPainter painter(viewport());
        const bool isActive = hasFocus();
        const QPalette::ColorGroup group = isActive ? QPalette::Active : QPalette::Inactive;
        QList<MemoLayout::Highlight> highlights;
        for (const QTextEdit::ExtraSelection& extra : std::as_const(m_extraSelections))
            highlights.append({ extra.cursor.selectionStart(), extra.cursor.selectionEnd(), extra.format });
        if (m_cursor.hasSelection()) {
            QTextCharFormat selected;
            selected.setBackground(palette().brush(group, QPalette::Highlight));
            selected.setForeground(palette().brush(group, QPalette::HighlightedText));
            highlights.append({ m_cursor.selectionStart(), m_cursor.selectionEnd(), selected });
        }
        int caret = -1;
        if (m_dropCaret >= 0)
            caret = m_dropCaret;
        else if (isActive && m_caretShown && !m_readOnly)
            caret = m_cursor.position();
        MemoLayout::Composition composition = m_composition;
        composition.position = m_composition.text.isEmpty() ? -1 : m_cursor.position();
        painter.setPen(palette().color(group, QPalette::Text));
        m_layout->draw(&painter, origin(), event->rect(), highlights, caret, composition);
    });
}

void MemoView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateWrapping();
}

void MemoView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    m_caretShown = true;
    if (QApplication::cursorFlashTime() > 0)
        m_blink.start(QApplication::cursorFlashTime() / 2, this);
    viewport()->update();
}

void MemoView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    m_blink.stop();
    viewport()->update();
}

void MemoView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_blink.timerId()) {
        m_caretShown = !m_caretShown;
        viewport()->update(cursorRect().adjusted(-2, 0, 2, 0));
    } else if (event->timerId() == m_scrollTimer.timerId()) {
        guarded(this, [this] { autoScroll(); });
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

void MemoView::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    viewport()->setCursor(readOnly ? Qt::ArrowCursor : Qt::IBeamCursor);
    setAttribute(Qt::WA_InputMethodEnabled, !readOnly);
    viewport()->update();
}

void MemoView::SetHideSelection(bool hideSelection)
{
    if (hideSelection == m_hideSelection)
        return;
    m_hideSelection = hideSelection;
    updateSelectionPalette();
}

// The editor draws its selection with the inactive colours while it lacks the
// focus; hiding the selection makes those colours the ordinary text colours.
void MemoView::updateSelectionPalette()
{
    const QPalette inherited = parentWidget() ? parentWidget()->palette() : QGuiApplication::palette();
    QPalette colours = palette();
    const QPalette& source = m_hideSelection ? colours : inherited;
    const QBrush highlight = source.brush(QPalette::Inactive, m_hideSelection ? QPalette::Base : QPalette::Highlight);
    const QBrush highlightedText = source.brush(QPalette::Inactive, m_hideSelection ? QPalette::Text : QPalette::HighlightedText);
    colours.setBrush(QPalette::Inactive, QPalette::Highlight, highlight);
    colours.setBrush(QPalette::Inactive, QPalette::HighlightedText, highlightedText);
    m_isUpdatingPalette = true;
    setPalette(colours);
    m_isUpdatingPalette = false;
}

void MemoView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !m_isUpdatingPalette)
        updateSelectionPalette();
    if (event->type() == QEvent::FontChange) {
        m_layout->setFont(font());
        updateExtent();
        viewport()->update();
    }
}

void MemoView::SetScrollBars(TScrollStyle scrollBars)
{
    if (scrollBars == m_scrollBars)
        return;
    m_scrollBars = scrollBars;
    updateWrapping();
}

void MemoView::SetWordWrap(bool wordWrap)
{
    if (wordWrap == m_wordWrap)
        return;
    m_wordWrap = wordWrap;
    updateWrapping();
}

// With a horizontal scroll bar long lines scroll sideways instead of wrapping.
void MemoView::updateWrapping()
{
    const bool horizontal = m_scrollBars == ssHorizontal || m_scrollBars == ssBoth;
    const bool vertical = m_scrollBars == ssVertical || m_scrollBars == ssBoth;
    setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const bool wraps = m_wordWrap && !horizontal;
    m_layout->setWrapWidth(wraps ? std::max(1, viewport()->width() - 2 * Margin) : 0);
    if (!wraps)
        horizontalScrollBar()->setValue(horizontalScrollBar()->value());
    updateExtent();
    viewport()->update();
}
