#pragma once

#include <QString>
#include <QTextCursor>

#include <utility>

class QTextDocument;

// Reading and stepping through the editor's document without laying a line
// out. A text cursor placed the ordinary way makes the toolkit analyse the
// whole line it lands in, which takes a tenth of a second in a line of ten
// million characters; these place cursors and read stretches of text at a
// cost that depends only on the stretch.
namespace MemoText {

// While the document reports a change, before its layout hears of it, this
// property of the document is true (see MemoLayout).
inline constexpr char ChangingProperty[] = "memoTextChanging";

// Every kind of line break (CR LF, lone CR, the Unicode line and paragraph
// separators, the last being how the document gives its breaks) becomes one
// LF: the text that comes in, and the text that goes out to the clipboard
// and to assistive tools.
QString withLineFeeds(QString text);

// A cursor with the given anchor and position.
QTextCursor cursor(QTextDocument* document, int anchor, int position);
// Moves a cursor (keeping its anchor when asked) without laying its line out.
void move(QTextCursor& cursor, int position, QTextCursor::MoveMode mode = QTextCursor::MoveAnchor);
// The characters from one position to another; line breaks come as U+2029.
QString read(const QTextDocument* document, int from, int to);

// The boundaries a caret stops at: between user-perceived characters, and
// at the starts and ends of words. Both stay in the line of the position
// given, except that a step past a line's end goes to the next line's start
// and a step back from a line's start to the previous line's end.
int nextCharacter(const QTextDocument* document, int position);
int previousCharacter(const QTextDocument* document, int position);
int nextWordStart(const QTextDocument* document, int position);
int previousWordStart(const QTextDocument* document, int position);
int wordEnd(const QTextDocument* document, int position);
// The word (or run of other characters) around a position, for a double click.
std::pair<int, int> wordAround(const QTextDocument* document, int position);

} // namespace MemoText
