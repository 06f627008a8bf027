#include "editor/MemoText.h"

#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextDocument>

#include <algorithm>

namespace {

// Boundaries are looked for in this much text around a position; a word
// longer than that is stepped through in stretches of this length.
constexpr int Reach = 256;

struct Window {
    QString text;
    int start = 0; // document position of text[0]
};

// The stretch of the position's line around it, at most Reach characters on
// either side.
Window windowAround(const QTextDocument* document, int position)
{
    const QTextBlock block = document->findBlock(position);
    const int lineStart = block.position();
    const int lineEnd = lineStart + block.length() - 1;
    const int from = std::max(lineStart, position - Reach);
    const int to = std::min(lineEnd, position + Reach);
    return { MemoText::read(document, from, to), from };
}

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c.isMark();
}

// Within a window: the first or last boundary of the given kind after or
// before the index; -1 when the window holds none.
int boundaryAfter(const Window& window, int index, QTextBoundaryFinder::BoundaryType type)
{
    QTextBoundaryFinder finder(type, window.text);
    finder.setPosition(index);
    return int(finder.toNextBoundary());
}

int boundaryBefore(const Window& window, int index, QTextBoundaryFinder::BoundaryType type)
{
    QTextBoundaryFinder finder(type, window.text);
    finder.setPosition(index);
    return int(finder.toPreviousBoundary());
}

int lineStartOf(const QTextDocument* document, int position)
{
    return document->findBlock(position).position();
}

int lineEndOf(const QTextDocument* document, int position)
{
    const QTextBlock block = document->findBlock(position);
    return block.position() + block.length() - 1;
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

QString read(const QTextDocument* document, int from, int to)
{
    if (to <= from)
        return {};
    const QTextCursor range = cursor(const_cast<QTextDocument*>(document), from, to);
    return range.selectedText();
}

int nextCharacter(const QTextDocument* document, int position)
{
    if (position >= lineEndOf(document, position))
        return std::min(position + 1, document->characterCount() - 1);
    const Window window = windowAround(document, position);
    const int next = boundaryAfter(window, position - window.start, QTextBoundaryFinder::Grapheme);
    return next < 0 ? position + 1 : window.start + next;
}

int previousCharacter(const QTextDocument* document, int position)
{
    if (position <= lineStartOf(document, position))
        return std::max(position - 1, 0);
    const Window window = windowAround(document, position);
    const int previous = boundaryBefore(window, position - window.start, QTextBoundaryFinder::Grapheme);
    return previous < 0 ? position - 1 : window.start + previous;
}

// Forward to the start of the next word: past the rest of this word, then
// past the spaces after it; a line's end is a stop of its own.
int nextWordStart(const QTextDocument* document, int position)
{
    const int end = lineEndOf(document, position);
    if (position >= end)
        return nextCharacter(document, position);
    while (position < end) {
        const Window window = windowAround(document, position);
        const QString& text = window.text;
        int i = position - window.start;
        const int limit = int(text.size());
        if (i < limit && isWordCharacter(text[i]))
            while (i < limit && isWordCharacter(text[i]))
                ++i;
        else if (i < limit && !text[i].isSpace())
            while (i < limit && !isWordCharacter(text[i]) && !text[i].isSpace())
                ++i;
        while (i < limit && text[i].isSpace())
            ++i;
        position = window.start + i;
        if (i < limit)
            return position;
    }
    return end;
}

int previousWordStart(const QTextDocument* document, int position)
{
    const int start = lineStartOf(document, position);
    if (position <= start)
        return previousCharacter(document, position);
    while (position > start) {
        const Window window = windowAround(document, position);
        const QString& text = window.text;
        int i = position - window.start;
        while (i > 0 && text[i - 1].isSpace())
            --i;
        if (i > 0 && isWordCharacter(text[i - 1]))
            while (i > 0 && isWordCharacter(text[i - 1]))
                --i;
        else
            while (i > 0 && !isWordCharacter(text[i - 1]) && !text[i - 1].isSpace())
                --i;
        position = window.start + i;
        if (i > 0)
            return position;
    }
    return start;
}

int wordEnd(const QTextDocument* document, int position)
{
    const int end = lineEndOf(document, position);
    if (position >= end)
        return nextCharacter(document, position);
    const auto [from, to] = wordAround(document, position);
    return to > position ? to : nextCharacter(document, position);
}

std::pair<int, int> wordAround(const QTextDocument* document, int position)
{
    const Window window = windowAround(document, position);
    const QString& text = window.text;
    const int index = position - window.start;
    if (text.isEmpty())
        return { position, position };
    const int at = std::min(index, int(text.size()) - 1);
    const auto kind = [](QChar c) { return isWordCharacter(c) ? 0 : c.isSpace() ? 1 : 2; };
    const int wanted = kind(text[at]);
    int from = at;
    int to = at + 1;
    while (from > 0 && kind(text[from - 1]) == wanted)
        --from;
    while (to < text.size() && kind(text[to]) == wanted)
        ++to;
    return { window.start + from, window.start + to };
}

} // namespace MemoText
