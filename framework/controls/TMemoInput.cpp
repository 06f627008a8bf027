// The editor's keys, mouse, drag and drop, input methods and context menu.
#include "controls/TMemo.h"

#include "controls/MemoText.h"
#include "controls/MemoUndo.h"
#include "core/ExceptionBoundary.h"

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

namespace {

// The movement a key asks for, with whether it extends the selection.
struct Move {
    QKeySequence::StandardKey key;
    QTextCursor::MoveOperation operation;
    QTextCursor::MoveMode mode;
};

const Move Moves[] = {
    { QKeySequence::MoveToNextChar, QTextCursor::NextCharacter, QTextCursor::MoveAnchor },
    { QKeySequence::MoveToPreviousChar, QTextCursor::PreviousCharacter, QTextCursor::MoveAnchor },
    { QKeySequence::MoveToNextWord, QTextCursor::NextWord, QTextCursor::MoveAnchor },
    { QKeySequence::MoveToPreviousWord, QTextCursor::PreviousWord, QTextCursor::MoveAnchor },
    { QKeySequence::MoveToNextLine, QTextCursor::Down, QTextCursor::MoveAnchor },
    { QKeySequence::MoveToPreviousLine, QTextCursor::Up, QTextCursor::MoveAnchor },
    { QKeySequence::MoveToStartOfLine, QTextCursor::StartOfLine, QTextCursor::MoveAnchor },
    { QKeySequence::MoveToEndOfLine, QTextCursor::EndOfLine, QTextCursor::MoveAnchor },
    { QKeySequence::MoveToStartOfBlock, QTextCursor::StartOfBlock, QTextCursor::MoveAnchor },
    { QKeySequence::MoveToEndOfBlock, QTextCursor::EndOfBlock, QTextCursor::MoveAnchor },
    { QKeySequence::MoveToStartOfDocument, QTextCursor::Start, QTextCursor::MoveAnchor },
    { QKeySequence::MoveToEndOfDocument, QTextCursor::End, QTextCursor::MoveAnchor },
    { QKeySequence::SelectNextChar, QTextCursor::NextCharacter, QTextCursor::KeepAnchor },
    { QKeySequence::SelectPreviousChar, QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor },
    { QKeySequence::SelectNextWord, QTextCursor::NextWord, QTextCursor::KeepAnchor },
    { QKeySequence::SelectPreviousWord, QTextCursor::PreviousWord, QTextCursor::KeepAnchor },
    { QKeySequence::SelectNextLine, QTextCursor::Down, QTextCursor::KeepAnchor },
    { QKeySequence::SelectPreviousLine, QTextCursor::Up, QTextCursor::KeepAnchor },
    { QKeySequence::SelectStartOfLine, QTextCursor::StartOfLine, QTextCursor::KeepAnchor },
    { QKeySequence::SelectEndOfLine, QTextCursor::EndOfLine, QTextCursor::KeepAnchor },
    { QKeySequence::SelectStartOfBlock, QTextCursor::StartOfBlock, QTextCursor::KeepAnchor },
    { QKeySequence::SelectEndOfBlock, QTextCursor::EndOfBlock, QTextCursor::KeepAnchor },
    { QKeySequence::SelectStartOfDocument, QTextCursor::Start, QTextCursor::KeepAnchor },
    { QKeySequence::SelectEndOfDocument, QTextCursor::End, QTextCursor::KeepAnchor },
};

// Keys the editor handles itself even where a shortcut of the window would
// otherwise take them.
const QKeySequence::StandardKey EditorKeys[] = {
    QKeySequence::Copy, QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo,
    QKeySequence::SelectAll, QKeySequence::Delete, QKeySequence::DeleteStartOfWord,
    QKeySequence::DeleteEndOfWord, QKeySequence::DeleteEndOfLine, QKeySequence::MoveToNextPage,
    QKeySequence::MoveToPreviousPage, QKeySequence::SelectNextPage, QKeySequence::SelectPreviousPage,
};

bool isPrintable(const QString& text)
{
    return !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isPrint() || c == u'\t'; });
}

} // namespace

bool TMemo::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (isEditorShortcut(key)) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

bool TMemo::isEditorShortcut(QKeyEvent* event) const
{
    const Qt::KeyboardModifiers plain = event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    if (plain == Qt::NoModifier) {
        if (event->key() < Qt::Key_Escape)
            return true;
        switch (event->key()) {
        case Qt::Key_Return: case Qt::Key_Enter: case Qt::Key_Delete: case Qt::Key_Home: case Qt::Key_End:
        case Qt::Key_Backspace: case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_Up: case Qt::Key_Down:
        case Qt::Key_Tab:
            return true;
        default:
            break;
        }
    }
    for (const Move& move : Moves) {
        if (event->matches(move.key))
            return true;
    }
    return std::any_of(std::begin(EditorKeys), std::end(EditorKeys), [&](auto key) { return event->matches(key); });
}

void TMemo::keyPressEvent(QKeyEvent* event)
{
    guarded(this, [&] {
        if (handleMove(event) || handleEdit(event)) {
            event->accept();
            ensureCursorVisible();
            return;
        }
        event->ignore();
    });
}

bool TMemo::handleMove(QKeyEvent* event)
{
    for (const Move& move : Moves) {
        if (event->matches(move.key)) {
            moveCursor(move.operation, move.mode);
            return true;
        }
    }
    const bool pageDown = event->matches(QKeySequence::MoveToNextPage) || event->matches(QKeySequence::SelectNextPage);
    const bool pageUp = event->matches(QKeySequence::MoveToPreviousPage) || event->matches(QKeySequence::SelectPreviousPage);
    if (pageDown || pageUp) {
        const bool select = event->matches(QKeySequence::SelectNextPage) || event->matches(QKeySequence::SelectPreviousPage);
        const int rows = visibleRows() * (pageDown ? 1 : -1);
        const int target = rowStep(rows);
        verticalScrollBar()->setValue(verticalScrollBar()->value() + rows);
        setCaret(target, select ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor, true);
        return true;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return true;
    }
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return true;
    }
    return false;
}

bool TMemo::handleEdit(QKeyEvent* event)
{
    if (m_readOnly)
        return false;
    const int position = m_cursor.position();
    const bool selected = m_cursor.hasSelection();
    if (event->matches(QKeySequence::Paste)) {
        // The paste key goes through the bounded read of the clipboard too.
        PasteFromClipboard();
    } else if (event->matches(QKeySequence::Cut)) {
        cut();
    } else if (event->matches(QKeySequence::Undo)) {
        undo();
    } else if (event->matches(QKeySequence::Redo)) {
        redo();
    } else if (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier))) {
        if (selected)
            removeSelection(EditKind::Deleting);
        else if (position > 0)
            replace(MemoText::previousCharacter(m_document, position), position, QString(), EditKind::Deleting);
    } else if (event->matches(QKeySequence::Delete)) {
        if (selected)
            removeSelection(EditKind::Deleting);
        else if (position < m_document->characterCount() - 1)
            replace(position, MemoText::nextCharacter(m_document, position), QString(), EditKind::Deleting);
    } else if (event->matches(QKeySequence::DeleteStartOfWord)) {
        if (selected)
            removeSelection(EditKind::Deleting);
        else
            replace(MemoText::previousWordStart(m_document, position), position, QString(), EditKind::Deleting);
    } else if (event->matches(QKeySequence::DeleteEndOfWord)) {
        if (selected)
            removeSelection(EditKind::Deleting);
        else
            replace(position, MemoText::wordEnd(m_document, position), QString(), EditKind::Deleting);
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Shift+Enter is a plain line break too: every break here is one.
        replace(m_cursor.selectionStart(), m_cursor.selectionEnd(), QStringLiteral("\n"), EditKind::Typing);
    } else if (event->key() == Qt::Key_Tab && m_wantTabs && !(event->modifiers() & ~Qt::KeypadModifier)) {
        replace(m_cursor.selectionStart(), m_cursor.selectionEnd(), QStringLiteral("\t"), EditKind::Typing);
    } else if (isPrintable(event->text()) && !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        && event->key() != Qt::Key_Tab) {
        replace(m_cursor.selectionStart(), m_cursor.selectionEnd(), event->text(), EditKind::Typing);
    } else {
        return false;
    }
    return true;
}

// Tab types a tab when the editor wants tabs, and moves the focus otherwise.
bool TMemo::focusNextPrevChild(bool next)
{
    if (m_wantTabs && !m_readOnly)
        return false;
    return QAbstractScrollArea::focusNextPrevChild(next);
}

void TMemo::inputMethodEvent(QInputMethodEvent* event)
{
    guarded(this, [&] {
        if (m_readOnly) {
            event->ignore();
            return;
        }
        if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
            int from = m_cursor.selectionStart();
            int to = m_cursor.selectionEnd();
            if (event->replacementLength() > 0 || event->replacementStart() != 0) {
                from = m_cursor.position() + event->replacementStart();
                to = from + event->replacementLength();
            }
            replace(from, to, event->commitString(), EditKind::Typing);
        }
        m_composition.text = event->preeditString();
        m_composition.formats.clear();
        m_composition.caret = int(m_composition.text.size());
        for (const QInputMethodEvent::Attribute& attribute : event->attributes()) {
            if (attribute.type == QInputMethodEvent::TextFormat) {
                const QTextCharFormat format = attribute.value.value<QTextFormat>().toCharFormat();
                if (format.isValid())
                    m_composition.formats.append({ attribute.start, attribute.length, format });
            } else if (attribute.type == QInputMethodEvent::Cursor) {
                m_composition.caret = attribute.start;
            }
        }
        viewport()->update();
        event->accept();
    });
}

QVariant TMemo::inputMethodQuery(Qt::InputMethodQuery query) const
{
    // The text around the caret that an input method may look at: its line,
    // or a stretch of it in a very long line.
    constexpr int Around = 1000;
    const int position = m_cursor.position();
    const QTextBlock line = m_document->findBlock(position);
    const int from = std::max(line.position(), position - Around);
    const int to = std::min(line.position() + line.length() - 1, position + Around);
    switch (query) {
    case Qt::ImEnabled: return !m_readOnly;
    case Qt::ImCursorRectangle: return QRectF(cursorRect().translated(viewport()->pos()));
    case Qt::ImAnchorRectangle: return QRectF(cursorRect(MemoText::cursor(m_document, m_cursor.anchor(), m_cursor.anchor())).translated(viewport()->pos()));
    case Qt::ImFont: return font();
    case Qt::ImCursorPosition: return position - from;
    case Qt::ImAnchorPosition: return std::clamp(m_cursor.anchor(), from, to) - from;
    case Qt::ImSurroundingText: return MemoText::read(m_document, from, to);
    case Qt::ImCurrentSelection: return selectedText();
    case Qt::ImTextBeforeCursor: return MemoText::read(m_document, from, position);
    case Qt::ImTextAfterCursor: return MemoText::read(m_document, position, to);
    case Qt::ImAbsolutePosition: return position;
    case Qt::ImHints: return int(inputMethodHints() | Qt::ImhMultiLine);
    case Qt::ImMaximumTextLength: return QVariant();
    default: return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void TMemo::mousePressEvent(QMouseEvent* event)
{
    guarded(this, [&] {
        const int position = positionAt(event->position().toPoint());
        m_pressPoint = event->position().toPoint();
        m_mousePoint = m_pressPoint;
        if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection() && !m_readOnly) {
            setCaret(position);
            insertPastedText(QGuiApplication::clipboard()->text(QClipboard::Selection));
            return;
        }
        if (event->button() != Qt::LeftButton)
            return;
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

void TMemo::mouseDoubleClickEvent(QMouseEvent* event)
{
    guarded(this, [&] {
        if (event->button() != Qt::LeftButton)
            return;
        m_pressedWord = MemoText::wordAround(m_document, positionAt(event->position().toPoint()));
        setCaret(m_pressedWord.first);
        setCaret(m_pressedWord.second, QTextCursor::KeepAnchor);
        m_isSelecting = true;
        m_selectsWords = true;
        m_mayDragSelection = false;
    });
}

void TMemo::mouseMoveEvent(QMouseEvent* event)
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
void TMemo::autoScroll()
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

void TMemo::mouseReleaseEvent(QMouseEvent* event)
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
void TMemo::dragSelection()
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

void TMemo::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_readOnly || textOf(event->mimeData()).isEmpty())
        return event->ignore();
    event->acceptProposedAction();
}

void TMemo::dragMoveEvent(QDragMoveEvent* event)
{
    if (m_readOnly || textOf(event->mimeData()).isEmpty())
        return event->ignore();
    m_dropCaret = positionAt(event->position().toPoint());
    viewport()->update();
    event->acceptProposedAction();
}

void TMemo::dragLeaveEvent(QDragLeaveEvent*)
{
    m_dropCaret = -1;
    viewport()->update();
}

void TMemo::dropEvent(QDropEvent* event)
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

QMenu* TMemo::createStandardContextMenu()
{
    auto* menu = new QMenu(this);
    const auto add = [&](const QString& text, QKeySequence::StandardKey key, bool enabled, auto slot) {
        QAction* action = menu->addAction(text, this, slot);
        action->setShortcut(key);
        action->setEnabled(enabled);
    };
    const bool selected = m_cursor.hasSelection();
    add(tr("&Undo"), QKeySequence::Undo, !m_readOnly && m_undo->canUndo(), &TMemo::undo);
    add(tr("&Redo"), QKeySequence::Redo, !m_readOnly && m_undo->canRedo(), &TMemo::redo);
    menu->addSeparator();
    add(tr("Cu&t"), QKeySequence::Cut, !m_readOnly && selected, &TMemo::cut);
    add(tr("&Copy"), QKeySequence::Copy, selected, &TMemo::copy);
    add(tr("&Paste"), QKeySequence::Paste, !m_readOnly, &TMemo::paste);
    add(tr("Delete"), QKeySequence::Delete, !m_readOnly && selected, [this] { removeSelection(EditKind::Other); });
    menu->addSeparator();
    add(tr("Select All"), QKeySequence::SelectAll, !m_document->isEmpty(), &TMemo::selectAll);
    return menu;
}

void TMemo::contextMenuEvent(QContextMenuEvent* event)
{
    guarded(this, [&] {
        QMenu* menu = createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(event->globalPos());
    });
}
