// The editor's mouse, drag and drop, and context menu.
#include "editor/MemoView.h"

#include "editor/MemoText.h"
#include "editor/MemoUndo.h"
#include "core/ExceptionBoundary.h"
#include "platform/ClipboardReader.h"

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

void MemoView::mousePressEvent(QMouseEvent* event)
{
    guarded(this, [&] {
        const int position = positionAt(event->position().toPoint());
        m_pressPoint = event->position().toPoint();
        m_mousePoint = m_pressPoint;
        if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection() && !m_readOnly) {
            setCaret(position);
            insertPastedText(ClipboardReader::selectionText());
            return;
        }
        if (event->button() != Qt::LeftButton)
            return;
        if (isTripleClick()) {
            selectLineAt(position);
            return;
        }
        const bool inSelection = m_cursor.hasSelection() && position >= m_cursor.selectionStart()
            && position < m_cursor.selectionEnd();
        m_mayDragSelection = inSelection && !(event->modifiers() & Qt::ShiftModifier);
        if (m_mayDragSelection)
            return;
        m_isSelecting = true;
        m_selectsWords = false;
        setCaret(position, event->modifiers() & Qt::ShiftModifier ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
        ensureCursorVisible();
    });
}

bool MemoView::isTripleClick()
{
    const bool soon = m_sinceDoubleClick.isValid() && m_sinceDoubleClick.elapsed() < QApplication::doubleClickInterval();
    m_sinceDoubleClick.invalidate();
    return soon && (m_pressPoint - m_doubleClickPoint).manhattanLength() < QApplication::startDragDistance();
}

// The line with its break, so that a drag or a typed key takes the whole line.
void MemoView::selectLineAt(int position)
{
    const QTextBlock line = m_document->findBlock(position);
    const QTextBlock next = line.next();
    setCaret(line.position());
    setCaret(next.isValid() ? next.position() : line.position() + line.length() - 1, QTextCursor::KeepAnchor);
    m_isSelecting = false;
    m_mayDragSelection = false;
}

void MemoView::mouseDoubleClickEvent(QMouseEvent* event)
{
    guarded(this, [&] {
        if (event->button() != Qt::LeftButton)
            return;
        m_sinceDoubleClick.start();
        m_doubleClickPoint = event->position().toPoint();
        m_pressedWord = MemoText::wordAround(m_document, positionAt(event->position().toPoint()));
        setCaret(m_pressedWord.first);
        setCaret(m_pressedWord.second, QTextCursor::KeepAnchor);
        m_isSelecting = true;
        m_selectsWords = true;
        m_mayDragSelection = false;
    });
}

void MemoView::mouseMoveEvent(QMouseEvent* event)
{
    guarded(this, [&] {
        m_mousePoint = event->position().toPoint();
        if (!(event->buttons() & Qt::LeftButton))
            return;
        if (m_mayDragSelection) {
            if ((m_mousePoint - m_pressPoint).manhattanLength() >= QApplication::startDragDistance())
                dragSelection();
            return;
        }
        if (!m_isSelecting)
            return;
        if (viewport()->rect().contains(m_mousePoint))
            m_scrollTimer.stop();
        else if (!m_scrollTimer.isActive())
            m_scrollTimer.start(50, this);
        autoScroll();
    });
}

// While a selection is dragged out past the view's edge, the view follows.
void MemoView::autoScroll()
{
    const QRect area = viewport()->rect();
    if (m_mousePoint.y() < area.top())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (m_mousePoint.y() > area.bottom())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (m_mousePoint.x() < area.left())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (m_mousePoint.x() > area.right())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    const int position = positionAt(m_mousePoint);
    if (!m_selectsWords) {
        setCaret(position, QTextCursor::KeepAnchor);
        return;
    }
    const auto word = MemoText::wordAround(m_document, position);
    const bool forwards = position >= m_pressedWord.first;
    setCaret(forwards ? m_pressedWord.first : m_pressedWord.second);
    setCaret(forwards ? std::max(word.second, m_pressedWord.second) : std::min(word.first, m_pressedWord.first),
        QTextCursor::KeepAnchor);
}

void MemoView::mouseReleaseEvent(QMouseEvent* event)
{
    guarded(this, [&] {
        m_scrollTimer.stop();
        if (m_mayDragSelection && event->button() == Qt::LeftButton)
            setCaret(positionAt(event->position().toPoint()));
        m_mayDragSelection = false;
        if (m_isSelecting && m_cursor.hasSelection() && QGuiApplication::clipboard()->supportsSelection())
            QGuiApplication::clipboard()->setText(selectedText(), QClipboard::Selection);
        m_isSelecting = false;
    });
}

// The selection dragged elsewhere: moved, or copied with Ctrl held. A move
// into this editor is done by the drop itself.
void MemoView::dragSelection()
{
    m_mayDragSelection = false;
    auto* data = new QMimeData;
    data->setText(selectedText());
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const int from = m_cursor.selectionStart();
    const int to = m_cursor.selectionEnd();
    const quint64 before = quint64(m_document->revision());
    const Qt::DropAction action = drag->exec(m_readOnly ? Qt::CopyAction : Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
    if (action == Qt::MoveAction && !m_readOnly && quint64(m_document->revision()) == before && drag->target() != viewport())
        replace(from, to, QString());
}

void MemoView::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_readOnly || textOf(event->mimeData()).isEmpty())
        return event->ignore();
    event->acceptProposedAction();
}

void MemoView::dragMoveEvent(QDragMoveEvent* event)
{
    if (m_readOnly || textOf(event->mimeData()).isEmpty())
        return event->ignore();
    m_dropCaret = positionAt(event->position().toPoint());
    viewport()->update();
    event->acceptProposedAction();
}

void MemoView::dragLeaveEvent(QDragLeaveEvent*)
{
    m_dropCaret = -1;
    viewport()->update();
}

void MemoView::dropEvent(QDropEvent* event)
{
    guarded(this, [&] {
        const int at = m_dropCaret >= 0 ? m_dropCaret : positionAt(event->position().toPoint());
        m_dropCaret = -1;
        const QString text = textOf(event->mimeData());
        if (m_readOnly || text.isEmpty())
            return event->ignore();
        const bool fromHere = event->source() == this;
        const int from = m_cursor.selectionStart();
        const int to = m_cursor.selectionEnd();
        if (fromHere && at >= from && at <= to)
            return event->ignore();
        event->acceptProposedAction();
        if (fromHere && event->dropAction() == Qt::MoveAction) {
            // Removing the source first moves the drop place with it.
            replace(from, to, QString());
            const int shifted = at > to ? at - (to - from) : at;
            setCaret(shifted);
        } else {
            setCaret(at);
        }
        insertPastedText(text);
        setFocus(Qt::MouseFocusReason);
    });
}

QMenu* MemoView::createStandardContextMenu()
{
    auto* menu = new QMenu(this);
    const auto add = [&](const QString& text, QKeySequence::StandardKey key, bool enabled, auto slot) {
        // The menu's actions run after the menu event: each is a boundary.
        QAction* action = menu->addAction(text, this, [this, slot] {
            guarded(this, [&] {
                if constexpr (std::is_member_function_pointer_v<decltype(slot)>)
                    (this->*slot)();
                else
                    slot();
            });
        });
        action->setShortcut(key);
        action->setEnabled(enabled);
    };
    const bool selected = m_cursor.hasSelection();
    add(tr("&Undo"), QKeySequence::Undo, !m_readOnly && m_undo->canUndo(), &MemoView::undo);
    add(tr("&Redo"), QKeySequence::Redo, !m_readOnly && m_undo->canRedo(), &MemoView::redo);
    menu->addSeparator();
    add(tr("Cu&t"), QKeySequence::Cut, !m_readOnly && selected, &MemoView::cut);
    add(tr("&Copy"), QKeySequence::Copy, selected, &MemoView::copy);
    add(tr("&Paste"), QKeySequence::Paste, !m_readOnly, &MemoView::paste);
    add(tr("Delete"), QKeySequence::Delete, !m_readOnly && selected, [this] { removeSelection(EditKind::Other); });
    menu->addSeparator();
    add(tr("Select All"), QKeySequence::SelectAll, !m_document->isEmpty(), &MemoView::selectAll);
    return menu;
}

void MemoView::contextMenuEvent(QContextMenuEvent* event)
{
    guarded(this, [&] {
        QMenu* menu = createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(event->globalPos());
    });
}
