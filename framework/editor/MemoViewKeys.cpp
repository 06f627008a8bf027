// The editor's keys and input methods.
#include "editor/MemoView.h"

#include "editor/MemoText.h"
#include "core/ExceptionBoundary.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
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

// Text a key types: printable characters, judged whole (a character outside
// the basic plane is two UTF-16 halves, neither printable on its own), and
// the invisible formatting characters that join or part others.
bool isPrintable(const QString& text)
{
    const QList<uint> characters = text.toUcs4();
    return !characters.isEmpty() && std::all_of(characters.cbegin(), characters.cend(), [](uint c) {
        return QChar::isPrint(c) || c == u'\t' || QChar::category(c) == QChar::Other_Format
            || QChar::category(c) == QChar::Other_PrivateUse;
    });
}

} // namespace

bool MemoView::event(QEvent* event)
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

bool MemoView::isEditorShortcut(QKeyEvent* event) const
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

void MemoView::keyPressEvent(QKeyEvent* event)
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

bool MemoView::handleMove(QKeyEvent* event)
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
        movePage(pageDown, select ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
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

// PageDown and PageUp scroll by the rows the view shows whole, and the caret
// keeps the height on the screen it had at the first key of a run of them.
// Where the view shows the last (first) row already, the caret goes to it.
void MemoView::movePage(bool down, QTextCursor::MoveMode mode)
{
    ensureCursorVisible();
    QScrollBar* vertical = verticalScrollBar();
    const int top = vertical->value();
    // A row's height on the screen as the view now stands.
    const auto heightOf = [this](int row) { return int(origin().y()) + row * m_layout->rowHeight(); };
    const int caretRow = m_layout->placeOf(m_cursor.position()).row;
    if (m_pageHeight < 0)
        m_pageHeight = heightOf(caretRow);
    const int lastRow = m_layout->rowCount() - 1;
    int row = caretRow;
    if (down && top >= vertical->maximum()) {
        row = lastRow;
    } else if (down) {
        vertical->setValue(std::min(top + visibleRows(), vertical->maximum()));
        row = std::min(caretRow + 1, lastRow);
        while (row < lastRow && heightOf(row) < m_pageHeight)
            ++row;
    } else if (top <= 0) {
        row = 0;
    } else {
        vertical->setValue(std::max(top - visibleRows(), 0));
        row = std::max(caretRow - 1, 0);
        while (row > 0 && heightOf(row) > m_pageHeight)
            --row;
    }
    if (row == caretRow)
        return; // no row to go to: a selection stays as it is
    const int height = m_pageHeight;
    setCaret(rowStep(row - caretRow), mode, true);
    m_pageHeight = height;
}

bool MemoView::handleEdit(QKeyEvent* event)
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
        m_goalX = -1; // even where nothing is deleted, the column starts again
        if (selected)
            removeSelection(EditKind::Deleting);
        else if (position > 0)
            replace(MemoText::previousCodePoint(m_document, position), position, QString(), EditKind::Deleting);
    } else if (event->matches(QKeySequence::Delete)) {
        if (selected)
            removeSelection(EditKind::Deleting);
        else if (position < m_document->characterCount() - 1)
            replace(position, MemoText::nextCharacter(m_document, position), QString(), EditKind::Deleting);
    } else if (event->matches(QKeySequence::DeleteStartOfWord)) {
        if (selected) {
            removeSelection(EditKind::Deleting);
        } else {
            // The stock editor takes its caret to the word's start first, so
            // a run of page keys goes on after this edit.
            const int pageHeight = m_pageHeight;
            replace(MemoText::previousWordStart(m_document, position), position, QString(), EditKind::Deleting);
            m_pageHeight = pageHeight;
        }
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
bool MemoView::focusNextPrevChild(bool next)
{
    if (m_wantTabs && !m_readOnly)
        return false;
    return QAbstractScrollArea::focusNextPrevChild(next);
}

void MemoView::inputMethodEvent(QInputMethodEvent* event)
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

QVariant MemoView::inputMethodQuery(Qt::InputMethodQuery query) const
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
