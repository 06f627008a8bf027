#include "editor/MemoAccessible.h"

#include "editor/MemoText.h"
#include "editor/MemoView.h"
#include "core/ExceptionBoundary.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <utility>

namespace {

// Characters, words and sentences are looked for in this much text on
// either side of an offset; a word or sentence longer than that is cut
// where the stretch ends.
constexpr int Reach = 4096;

// The characters from one position to another as assistive tools expect
// them: a line break is a line feed.
QString plainText(const QTextDocument* document, int from, int to)
{
    return MemoText::withLineFeeds(MemoText::read(document, from, to));
}

// A stretch of the text seen as a whole text of its own, so that the
// toolkit's own search for character, word and sentence boundaries runs on
// the stretch and never on the whole document.
class Stretch : public QAccessibleTextInterface {
public:
    explicit Stretch(QString text)
        : m_text(std::move(text))
    {
    }
    QString text(int startOffset, int endOffset) const override
    {
        return m_text.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(m_text.size()); }

    // A stretch has no caret, selection or place on the screen.
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override { }
    void removeSelection(int) override { }
    void setSelection(int, int, int) override { }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override { }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override { }
    QString attributes(int, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = -1;
        return {};
    }

private:
    QString m_text;
};

QAccessibleInterface* create(const QString&, QObject* object)
{
    if (auto* memo = qobject_cast<MemoView*>(object))
        return new MemoAccessible(memo);
    return nullptr;
}

// A change of the text as the document reports it, in the lengths of the
// text before and after. An assignment of the whole text counts the final
// line end among the removed and the added characters, though it stays. The
// removed text is gone by now: an edit of the editor's own says what it was,
// any other is reported by its length alone, as spaces.
void reportChange(MemoView* memo, int from, int removed, int added, int lengthBefore)
{
    const int length = memo->document()->characterCount() - 1;
    removed = std::clamp(removed, 0, std::max(0, lengthBefore - from));
    added = std::clamp(added, 0, std::max(0, length - from));
    const QString inserted = plainText(memo->document(), from, from + added);
    const QString gone = memo->removedText(from, removed).value_or(QString(removed, u' '));
    if (removed == 0 && added > 0) {
        QAccessibleTextInsertEvent event(memo, from, inserted);
        MemoAccessible::tell(&event);
    } else if (added == 0 && removed > 0) {
        QAccessibleTextRemoveEvent event(memo, from, gone);
        MemoAccessible::tell(&event);
    } else if (added > 0) {
        QAccessibleTextUpdateEvent event(memo, from, gone, inserted);
        MemoAccessible::tell(&event);
    }
}

void reportCaret(MemoView* memo)
{
    QAccessibleTextCursorEvent event(memo, memo->textCursor().position());
    MemoAccessible::tell(&event);
}

void reportSelection(MemoView* memo)
{
    const QTextCursor cursor = memo->textCursor();
    QAccessibleTextSelectionEvent event(memo, cursor.selectionStart(), cursor.selectionEnd());
    MemoAccessible::tell(&event);
}

} // namespace

MemoAccessible::MemoAccessible(MemoView* memo)
    : QAccessibleWidget(memo, QAccessible::EditableText)
    , m_follower(std::make_unique<QObject>())
{
    followEditor();
}

MemoAccessible::~MemoAccessible() = default;

void MemoAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(&create);
        return true;
    }();
    Q_UNUSED(installed);
}

// The events are only made while a tool listens. The length of the text is
// followed even when none does, so that a tool that comes back hears the
// right lengths.
void MemoAccessible::followEditor()
{
    MemoView* editor = memo();
    QObject::connect(editor->document(), &QTextDocument::contentsChange, m_follower.get(),
        [editor, length = characterCount()](int from, int removed, int added) mutable {
            const int lengthBefore = std::exchange(length, editor->document()->characterCount() - 1);
            if (toolsListen() && (removed != 0 || added != 0))
                guarded(editor, [&] { reportChange(editor, from, removed, added, lengthBefore); });
        });
    QObject::connect(editor, &MemoView::cursorPositionChanged, m_follower.get(), [editor] {
        if (toolsListen())
            guarded(editor, [editor] { reportCaret(editor); });
    });
    QObject::connect(editor, &MemoView::selectionChanged, m_follower.get(), [editor] {
        if (toolsListen())
            guarded(editor, [editor] { reportSelection(editor); });
    });
}

MemoView* MemoAccessible::memo() const
{
    return static_cast<MemoView*>(widget());
}

QTextDocument* MemoAccessible::document() const
{
    return memo()->document();
}

void* MemoAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    if (type == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State MemoAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    const bool readOnly = memo()->isReadOnly();
    state.readOnly = readOnly;
    state.editable = !readOnly;
    state.multiLine = true;
    state.selectableText = true;
    state.focusable = true;
    return state;
}

QString MemoAccessible::text(QAccessible::Text kind) const
{
    if (kind == QAccessible::Value)
        return text(0, characterCount());
    return QAccessibleWidget::text(kind);
}

void MemoAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = 0;
    const QTextCursor cursor = memo()->textCursor();
    if (selectionIndex != 0 || !cursor.hasSelection())
        return;
    *startOffset = cursor.selectionStart();
    *endOffset = cursor.selectionEnd();
}

int MemoAccessible::selectionCount() const
{
    return memo()->textCursor().hasSelection() ? 1 : 0;
}

// The editor has one selection; a new one takes its place.
void MemoAccessible::addSelection(int startOffset, int endOffset)
{
    select(startOffset, endOffset);
}

void MemoAccessible::removeSelection(int selectionIndex)
{
    const int caret = memo()->textCursor().position();
    if (selectionIndex == 0)
        select(caret, caret);
}

void MemoAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        select(startOffset, endOffset);
}

int MemoAccessible::cursorPosition() const
{
    return memo()->textCursor().position();
}

void MemoAccessible::setCursorPosition(int position)
{
    select(position, position);
}

void MemoAccessible::select(int anchor, int position)
{
    guarded(memo(), [&] { memo()->setTextCursor(MemoText::cursor(document(), anchor, position)); });
}

QString MemoAccessible::text(int startOffset, int endOffset) const
{
    const int count = characterCount();
    return plainText(document(), std::clamp(startOffset, 0, count), std::clamp(endOffset, 0, count));
}

int MemoAccessible::characterCount() const
{
    return document()->characterCount() - 1;
}

QString MemoAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
    int* endOffset) const
{
    return around(-1, offset, boundaryType, startOffset, endOffset);
}

QString MemoAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
    int* endOffset) const
{
    return around(1, offset, boundaryType, startOffset, endOffset);
}

QString MemoAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
    int* endOffset) const
{
    return around(0, offset, boundaryType, startOffset, endOffset);
}

QString MemoAccessible::around(int kind, int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
    int* endOffset) const
{
    *startOffset = *endOffset = -1;
    const int count = characterCount();
    if (offset == -1)
        offset = count;
    if (offset < 0 || offset > count)
        return {};
    switch (boundaryType) {
    case QAccessible::LineBoundary:
        return row(offset, kind, startOffset, endOffset);
    case QAccessible::ParagraphBoundary:
        return paragraph(offset, kind, startOffset, endOffset);
    case QAccessible::NoBoundary:
        if (kind != 0)
            return {};
        *startOffset = 0;
        *endOffset = count;
        return text(0, count);
    default:
        return nearby(kind, offset, boundaryType, startOffset, endOffset);
    }
}

QString MemoAccessible::nearby(int kind, int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
    int* endOffset) const
{
    const int from = std::max(0, offset - Reach);
    const Stretch stretch(text(from, std::min(characterCount(), offset + Reach)));
    const int at = offset - from;
    const QString found = kind < 0 ? stretch.textBeforeOffset(at, boundaryType, startOffset, endOffset)
        : kind > 0                 ? stretch.textAfterOffset(at, boundaryType, startOffset, endOffset)
                                   : stretch.textAtOffset(at, boundaryType, startOffset, endOffset);
    if (*startOffset >= 0) {
        *startOffset += from;
        *endOffset += from;
    }
    return found;
}

// A row runs to the next row's start; the last row of a line takes the
// line's break along, as a line of text does.
QString MemoAccessible::row(int offset, int step, int* startOffset, int* endOffset) const
{
    MemoLayout* layout = memo()->m_layout;
    const int wanted = layout->placeOf(offset).row + step;
    if (wanted < 0 || wanted >= layout->rowCount())
        return {};
    auto [from, to] = layout->rowSpan(wanted);
    const QTextBlock line = document()->findBlock(from);
    if (to == line.position() + line.length() - 1 && line.next().isValid())
        ++to;
    *startOffset = from;
    *endOffset = to;
    return text(from, to);
}

QString MemoAccessible::paragraph(int offset, int step, int* startOffset, int* endOffset) const
{
    QTextBlock line = document()->findBlock(offset);
    if (step < 0)
        line = line.previous();
    else if (step > 0)
        line = line.next();
    if (!line.isValid())
        return {};
    *startOffset = line.position();
    *endOffset = line.position() + line.length() - (line.next().isValid() ? 0 : 1);
    return text(*startOffset, *endOffset);
}

// The caret's place before the character, as wide as the distance to the
// next caret place in the same row (or an average character at a row's end).
QRect MemoAccessible::characterRect(int offset) const
{
    if (offset < 0 || offset >= characterCount())
        return {};
    QTextDocument* doc = document();
    const QRect caret = memo()->cursorRect(MemoText::cursor(doc, offset, offset));
    const int next = MemoText::nextCharacter(doc, offset);
    const QRect after = memo()->cursorRect(MemoText::cursor(doc, next, next));
    const bool sameRow = after.top() == caret.top() && after.left() > caret.left();
    const int width = sameRow ? after.left() - caret.left() : memo()->fontMetrics().averageCharWidth();
    return { memo()->viewport()->mapToGlobal(caret.topLeft()), QSize(width, caret.height()) };
}

// The character under the point: the caret place nearest to it, or the one
// before when the point lies on the left half of the character after it.
int MemoAccessible::offsetAtPoint(const QPoint& point) const
{
    const QPoint local = memo()->viewport()->mapFromGlobal(point);
    if (!memo()->viewport()->rect().contains(local))
        return -1;
    const int nearest = memo()->cursorForPosition(local).position();
    const int previous = MemoText::previousCharacter(document(), nearest);
    if (nearest > 0 && characterRect(previous).contains(point))
        return previous;
    return nearest;
}

void MemoAccessible::scrollToSubstring(int startIndex, int)
{
    setCursorPosition(startIndex);
}

// The editor's text is plain: one run without attributes.
QString MemoAccessible::attributes(int offset, int* startOffset, int* endOffset) const
{
    const int count = characterCount();
    const bool inside = offset >= 0 && offset <= count;
    *startOffset = inside ? 0 : -1;
    *endOffset = inside ? count : -1;
    return {};
}

void MemoAccessible::deleteText(int startOffset, int endOffset)
{
    replaceText(startOffset, endOffset, QString());
}

void MemoAccessible::insertText(int offset, const QString& text)
{
    replaceText(offset, offset, text);
}

// Through the editor, as a paste of the text over the range would go: it
// can be undone and OnChange runs.
void MemoAccessible::replaceText(int startOffset, int endOffset, const QString& text)
{
    if (memo()->isReadOnly())
        return;
    guarded(memo(), [&] {
        memo()->setTextCursor(MemoText::cursor(document(), startOffset, endOffset));
        memo()->insertPlainText(text);
    });
}
