#include "editor/MemoText.h"

#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextDocument>

#include <algorithm>

namespace {

int lineStartOf(const QTextDocument* document, int position)
{
    return document->findBlock(position).position();
}

int lineEndOf(const QTextDocument* document, int position)
{
    const QTextBlock block = document->findBlock(position);
    return block.position() + block.length() - 1;
}

// How a word move sees a character: white space, one of the separators a
// word move stops at (as the toolkit's editors have them), or part of a word.
enum class Class { Space, Separator, Word };

Class classOf(QChar c)
{
    if (c.isSpace())
        return Class::Space;
    static const QString separators = QStringLiteral(".,?!@#$:;-<>[](){}=/+%&^*'\"`~|\\");
    return separators.contains(c) ? Class::Separator : Class::Word;
}

// The first position from a start, going forward up to a limit or back
// down to it, whose character (the one after it, or before it going back)
// is not of the given class. The text is read in stretches that double, so
// a long run costs its length and a short one little.
int skip(const QTextDocument* document, int position, int limit, Class skipped)
{
    const bool forward = limit >= position;
    for (int stretch = 64; position != limit; stretch = std::min(stretch * 2, 1 << 16)) {
        const int from = forward ? position : std::max(limit, position - stretch);
        const int to = forward ? std::min(limit, position + stretch) : position;
        const QString text = MemoText::read(document, from, to);
        if (forward) {
            for (const QChar c : text) {
                if (classOf(c) != skipped)
                    return position;
                ++position;
            }
        } else {
            for (qsizetype i = text.size() - 1; i >= 0; --i) {
                if (classOf(text[i]) != skipped)
                    return position;
                --position;
            }
        }
    }
    return position;
}

Class classAt(const QTextDocument* document, int position)
{
    return classOf(document->characterAt(position));
}

// The grapheme boundary after or before a position in its line, found in a
// stretch around it that grows until the boundary lies inside it.
int graphemeStep(const QTextDocument* document, int position, bool forward)
{
    const int lineStart = lineStartOf(document, position);
    const int lineEnd = lineEndOf(document, position);
    for (int reach = 16;; reach *= 4) {
        const int from = std::max(lineStart, position - reach);
        const int to = std::min(lineEnd, position + reach);
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, MemoText::read(document, from, to));
        finder.setPosition(position - from);
        const int found = int(forward ? finder.toNextBoundary() : finder.toPreviousBoundary());
        const bool atEdge = forward ? found + from == to && to < lineEnd : found + from == from && from > lineStart;
        if (found >= 0 && !atEdge)
            return from + found;
        if (from == lineStart && to == lineEnd)
            return forward ? position + 1 : position - 1;
    }
}

} // namespace

namespace MemoText {

QString withLineFeeds(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

QTextCursor cursor(QTextDocument* document, int anchor, int position)
{
    QTextCursor result(document);
    move(result, anchor);
    move(result, position, QTextCursor::KeepAnchor);
    return result;
}

// Placing a cursor makes the toolkit analyse the whole line it lands in,
// except inside an edit block or while the document reports a change. In a
// long line that analysis is what costs, so the cursor is placed inside an
// edit block there; elsewhere it is placed plainly, since ending an edit
// block looks at every cursor the document has, and the editor's marks may
// be thousands of cursors. An edit block ended while the document reports a
// change would also hand the change to the layout a second time, in the
// middle of whatever asked for the cursor.
void move(QTextCursor& cursor, int position, QTextCursor::MoveMode mode)
{
    constexpr int LongLine = 2000;
    const QTextDocument* document = cursor.document();
    const int target = std::clamp(position, 0, document->characterCount() - 1);
    const bool isQuick = document->findBlock(target).length() < LongLine;
    if (isQuick || document->property(ChangingProperty).toBool()) {
        cursor.setPosition(target, mode);
        return;
    }
    cursor.beginEditBlock();
    cursor.setPosition(target, mode);
    cursor.endEditBlock();
}

// Character by character from the document's own store: no cursor is
// placed, so no edit block is ended and no layout hears of a change again,
// however often a layout reads while it follows one.
QString read(const QTextDocument* document, int from, int to)
{
    from = std::max(from, 0);
    to = std::min(to, document->characterCount() - 1);
    if (to <= from)
        return {};
    QString text(to - from, Qt::Uninitialized);
    QChar* out = text.data();
    for (int position = from; position < to; ++position)
        *out++ = document->characterAt(position);
    return text;
}

int nextCharacter(const QTextDocument* document, int position)
{
    if (position >= lineEndOf(document, position))
        return std::min(position + 1, document->characterCount() - 1);
    return graphemeStep(document, position, true);
}

int previousCharacter(const QTextDocument* document, int position)
{
    if (position <= lineStartOf(document, position))
        return std::max(position - 1, 0);
    return graphemeStep(document, position, false);
}

int previousCodePoint(const QTextDocument* document, int position)
{
    if (position >= 2 && document->characterAt(position - 1).isLowSurrogate()
        && document->characterAt(position - 2).isHighSurrogate())
        return position - 2;
    return std::max(position - 1, 0);
}

// Forward past the rest of a run of separators or of a word, then past the
// white space after it; a line's end is a stop of its own.
int nextWordStart(const QTextDocument* document, int position)
{
    const int end = lineEndOf(document, position);
    if (position >= end)
        return nextCharacter(document, position);
    const Class first = classAt(document, position);
    if (first != Class::Space)
        position = skip(document, position, end, first);
    return skip(document, position, end, Class::Space);
}

// Back past white space, then past a run of separators or a word.
int previousWordStart(const QTextDocument* document, int position)
{
    const int start = lineStartOf(document, position);
    if (position <= start)
        return previousCharacter(document, position);
    position = skip(document, position, start, Class::Space);
    if (position == start)
        return start;
    return skip(document, position, start, classAt(document, position - 1));
}

int wordEnd(const QTextDocument* document, int position)
{
    return nextWordStart(document, position);
}

std::pair<int, int> wordAround(const QTextDocument* document, int position)
{
    const int start = lineStartOf(document, position);
    const int end = lineEndOf(document, position);
    if (start == end)
        return { position, position };
    const int at = std::min(position, end - 1);
    const Class wanted = classAt(document, at);
    return { skip(document, at, start, wanted), skip(document, at, end, wanted) };
}

} // namespace MemoText
