// The editor's text: assignment, edits and their undo history, the
// selection and the clipboard.
#include "editor/MemoView.h"

#include "editor/MemoText.h"
#include "editor/MemoUndo.h"
#include "core/Exception.h"
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
    if (from == to && text.isEmpty())
        return;
    const qsizetype length = m_document->characterCount() - 1 - (to - from) + text.size();
    if (text.size() > to - from && length > m_characterBound)
        throw EOutOfResources(tr("The text would be too long: %L1 characters, where the editor holds at most %L2. "
                                 "Nothing was changed.")
                .arg(length)
                .arg(m_characterBound));
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
    // An edit that carries the caret along ends a run of page keys; one that
    // removes what follows the caret leaves it, as in the stock editor.
    if (!(text.isEmpty() && oldPosition == from))
        m_pageHeight = -1;
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
    m_goalX = -1;
    m_pageHeight = -1;
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
    m_goalX = -1;
    m_pageHeight = -1;
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
    m_goalX = -1;
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

// One read of the clipboard, its text or else its other forms, within one
// time bound: an owner that does not answer costs that bound once.
void MemoView::PasteFromClipboard()
{
    const ClipboardReader::Reading reading = ClipboardReader::read(QDeadlineTimer(ClipboardReader::DefaultTimeoutMs));
    QString text = reading.status == ClipboardReader::Status::Text ? reading.text : QString();
    if (text.isEmpty() && TextOfOtherData && !reading.otherData.isEmpty())
        text = TextOfOtherData(ClipboardReader::otherMimeData(reading).get());
    if (!text.isEmpty())
        insertPastedText(text);
}

void MemoView::paste()
{
    if (!m_readOnly)
        PasteFromClipboard();
}

// What a drop inserts: what the owner of the editor makes of the data (the
// TeX of an image of ours, also of its file, which a file manager offers
// with its name as text), or else its text.
QString MemoView::textOf(const QMimeData* data) const
{
    if (!data)
        return {};
    if (TextOfOtherData) {
        const QString other = TextOfOtherData(data);
        if (!other.isEmpty())
            return other;
    }
    return data->hasText() ? data->text() : QString();
}

// A paste over the whole text of the very same text (the restore hand-over
// gives back what the minimise took) changes nothing and records no step:
// a history of such pastes would hold a copy of the text for each.
void MemoView::insertPastedText(const QString& text)
{
    const QString lines = withLineFeeds(text);
    const int end = m_document->characterCount() - 1;
    const bool whole = m_cursor.selectionStart() == 0 && m_cursor.selectionEnd() == end;
    if (whole && lines.size() == end && QString(lines).replace(u'\n', QChar::ParagraphSeparator) == MemoText::read(m_document, 0, end)) {
        setCaret(end);
        ensureCursorVisible();
        return;
    }
    replace(m_cursor.selectionStart(), m_cursor.selectionEnd(), lines);
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
    m_pageHeight = -1;
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
    // A caret moved, not an edit, ends a run of page keys.
    m_pageHeight = -1;
    onCaretMoved(oldPosition, oldAnchor);
}
