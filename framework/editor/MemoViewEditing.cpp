// The editor's text: assignment, edits and their undo history, the
// selection and the clipboard.
#include "editor/MemoView.h"

#include "editor/MemoText.h"
#include "editor/MemoUndo.h"
#include "core/ExceptionBoundary.h"
#include "platform/ClipboardReader.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>

// A separator left inside a line would make the line store and the text
// disagree about the lines, so every break that comes in is one LF, which
// the document turns into a line of its own.
using MemoText::withLineFeeds;

void MemoView::assignText(const QString& lines)
{
    m_isAssigningText = true;
    setPlainText(lines);
    m_isAssigningText = false;
}

QString MemoView::toPlainText() const
{
    return m_document->toPlainText();
}

// An assignment starts a new history, with the caret at the start.
void MemoView::setPlainText(const QString& text)
{
    const int oldPosition = m_cursor.position();
    const int oldAnchor = m_cursor.anchor();
    m_document->setPlainText(text);
    m_undo->clear();
    m_cursor = QTextCursor(m_document);
    emit undoAvailable(false);
    emit redoAvailable(false);
    onCaretMoved(oldPosition, oldAnchor);
}

void MemoView::insertPlainText(const QString& text)
{
    replace(m_cursor.selectionStart(), m_cursor.selectionEnd(), withLineFeeds(text));
}

// Puts text in place of a stretch of the document; the stretch's old text
// is known to the editor's listeners while the document reports the change.
void MemoView::changeText(int from, const QString& removed, const QString& text)
{
    QTextCursor range = MemoText::cursor(m_document, from, from + int(removed.size()));
    m_isEditing = true;
    m_removal = { from, removed };
    range.beginEditBlock();
    range.removeSelectedText();
    range.insertText(text);
    range.endEditBlock();
    m_removal = {};
    m_isEditing = false;
}

void MemoView::replace(int from, int to, const QString& text, EditKind kind)
{
    const int oldPosition = m_cursor.position();
    const int oldAnchor = m_cursor.anchor();
    const MemoUndo::Step step { from, MemoText::read(m_document, from, to), text, oldPosition, oldAnchor,
        from + int(text.size()), kind != EditKind::Other };
    changeText(from, step.removed, text);
    const bool couldUndo = m_undo->canUndo();
    m_undo->record(step);
    if (!couldUndo)
        emit undoAvailable(true);
    emit redoAvailable(false);
    MemoText::move(m_cursor, step.caretAfter);
    m_goalX = -1;
    onCaretMoved(oldPosition, oldAnchor);
    ensureCursorVisible();
}

std::optional<QString> MemoView::removedText(int position, int length) const
{
    if (m_removal.position != position || m_removal.text.size() != length)
        return std::nullopt;
    return withLineFeeds(m_removal.text);
}

void MemoView::removeSelection(EditKind kind)
{
    if (m_cursor.hasSelection())
        replace(m_cursor.selectionStart(), m_cursor.selectionEnd(), QString(), kind);
}

void MemoView::undo()
{
    if (!m_undo->canUndo())
        return;
    const MemoUndo::Step step = m_undo->takeUndo();
    const int oldPosition = m_cursor.position();
    const int oldAnchor = m_cursor.anchor();
    changeText(step.position, step.inserted, step.removed);
    MemoText::move(m_cursor, step.anchorBefore);
    MemoText::move(m_cursor, step.caretBefore, QTextCursor::KeepAnchor);
    emit undoAvailable(m_undo->canUndo());
    emit redoAvailable(true);
    onCaretMoved(oldPosition, oldAnchor);
    ensureCursorVisible();
}

void MemoView::redo()
{
    if (!m_undo->canRedo())
        return;
    const MemoUndo::Step step = m_undo->takeRedo();
    const int oldPosition = m_cursor.position();
    const int oldAnchor = m_cursor.anchor();
    changeText(step.position, step.removed, step.inserted);
    MemoText::move(m_cursor, step.caretAfter);
    emit undoAvailable(true);
    emit redoAvailable(m_undo->canRedo());
    onCaretMoved(oldPosition, oldAnchor);
    ensureCursorVisible();
}

QString MemoView::selectedText() const
{
    // The clipboard of this platform carries LF line breaks.
    return withLineFeeds(m_cursor.selectedText());
}

void MemoView::SelectAll()
{
    selectAll();
}

void MemoView::selectAll()
{
    const int oldPosition = m_cursor.position();
    const int oldAnchor = m_cursor.anchor();
    MemoText::move(m_cursor, 0);
    MemoText::move(m_cursor, m_document->characterCount() - 1, QTextCursor::KeepAnchor);
    m_undo->seal();
    onCaretMoved(oldPosition, oldAnchor);
}

void MemoView::CopyToClipboard()
{
    if (m_cursor.hasSelection())
        QGuiApplication::clipboard()->setText(selectedText());
}

void MemoView::copy()
{
    CopyToClipboard();
}

void MemoView::cut()
{
    if (m_readOnly || !m_cursor.hasSelection())
        return;
    CopyToClipboard();
    removeSelection(EditKind::Other);
}

QString MemoView::ClipboardText()
{
    return ClipboardReader::text().value_or(QString());
}

void MemoView::PasteFromClipboard()
{
    QString text = ClipboardText();
    if (text.isEmpty() && TextOfOtherData)
        text = TextOfOtherData(QGuiApplication::clipboard()->mimeData());
    if (!text.isEmpty())
        insertPastedText(text);
}

void MemoView::paste()
{
    if (!m_readOnly)
        PasteFromClipboard();
}

// What a drop or a paste of mime data inserts: its text, or what the owner
// of the editor makes of other data.
QString MemoView::textOf(const QMimeData* data) const
{
    if (!data)
        return {};
    if (data->hasText() && !data->text().isEmpty())
        return data->text();
    return TextOfOtherData ? TextOfOtherData(data) : QString();
}

void MemoView::insertPastedText(const QString& text)
{
    replace(m_cursor.selectionStart(), m_cursor.selectionEnd(), withLineFeeds(text));
}

void MemoView::setTextCursor(const QTextCursor& cursor)
{
    if (cursor.document() != m_document)
        return;
    const int oldPosition = m_cursor.position();
    const int oldAnchor = m_cursor.anchor();
    m_cursor = MemoText::cursor(m_document, cursor.anchor(), cursor.position());
    m_undo->seal();
    m_goalX = -1;
    onCaretMoved(oldPosition, oldAnchor);
    ensureCursorVisible();
}

void MemoView::setCaret(int position, QTextCursor::MoveMode mode, bool keepColumn)
{
    const int oldPosition = m_cursor.position();
    const int oldAnchor = m_cursor.anchor();
    MemoText::move(m_cursor, position, mode);
    m_undo->seal();
    if (!keepColumn)
        m_goalX = -1;
    onCaretMoved(oldPosition, oldAnchor);
}
