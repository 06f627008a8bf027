#include "controls/TMemo.h"
#include "editor/MemoAccessible.h"
#include "TestSupport.h"

#include <QAccessible>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <functional>

namespace {

QString span(int from, int to)
{
    return QStringLiteral("%1-%2").arg(from).arg(to);
}

QString at(QAccessibleTextInterface* text, int offset, QAccessible::TextBoundaryType type)
{
    int from = -1;
    int to = -1;
    const QString found = text->textAtOffset(offset, type, &from, &to);
    return found + u' ' + span(from, to);
}

// The text removals the tools were told of.
QStringList& removals()
{
    static QStringList told;
    return told;
}

void hearRemoval(QAccessibleEvent* event)
{
    if (event->type() == QAccessible::TextRemoved)
        removals().append(static_cast<QAccessibleTextRemoveEvent*>(event)->textRemoved());
}

} // namespace

// What an assistive tool reads of the editor, and what it does to it, as a
// user would see it in the editor.
TEST(MemoAccessibleTest, ToolSeesAndEditsWhatTheEditorHolds)
{
    TMemo memo(nullptr);
    int changes = 0;
    memo.resize(300, 120);
    memo.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&memo));
    memo.SetText(QStringLiteral("alpha beta\r\ngamma delta"));
    QAccessibleInterface* tool = QAccessible::queryAccessibleInterface(&memo);
    ASSERT_NE(tool, nullptr);
    QAccessibleTextInterface* text = tool->textInterface();
    ASSERT_NE(text, nullptr);
    const auto caretAt = [&](int anchor, int position) {
        QTextCursor cursor(memo.document());
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        memo.setTextCursor(cursor);
    };
    const auto screenCaret = [&](int position) {
        QTextCursor cursor(memo.document());
        cursor.setPosition(position);
        return memo.viewport()->mapToGlobal(memo.cursorRect(cursor).topLeft());
    };

    const struct {
        const char* what;
        std::function<QString()> actual;
        QString expected;
    } rows[] = {
        { "role", [&] { return QString::number(tool->role()); }, QString::number(QAccessible::EditableText) },
        { "a range crossing a line break", [&] { return text->text(3, 14); }, "ha beta\ngam" },
        { "caret placed by the editor",
            [&] {
                caretAt(13, 13);
                return QString::number(text->cursorPosition());
            },
            "13" },
        { "selection made by the editor",
            [&] {
                caretAt(14, 6);
                int from = 0, to = 0;
                text->selection(0, &from, &to);
                return span(from, to);
            },
            "6-14" },
        { "selection made by the tool",
            [&] {
                text->setSelection(0, 2, 4);
                return span(memo.textCursor().anchor(), memo.textCursor().position());
            },
            "2-4" },
        { "line", [&] { return at(text, 2, QAccessible::LineBoundary); }, "alpha beta\n 0-11" },
        { "last line", [&] { return at(text, 13, QAccessible::LineBoundary); }, "gamma delta 11-22" },
        { "word", [&] { return at(text, 8, QAccessible::WordBoundary); }, "beta 6-10" },
        { "character box at the caret's place",
            [&] {
                const QPoint box = text->characterRect(13).topLeft();
                return QString::number(box == screenCaret(13));
            },
            "1" },
        { "character under a point", [&] { return QString::number(text->offsetAtPoint(text->characterRect(13).center())); },
            "13" },
        { "insertion through the editor",
            [&] {
                tool->editableTextInterface()->insertText(6, QStringLiteral("big\n"));
                return memo.Text() + QString::number(changes);
            },
            "alpha big\r\nbeta\r\ngamma delta1" },
        { "undone",
            [&] {
                memo.undo();
                return memo.Text();
            },
            "alpha beta\r\ngamma delta" },
        { "read-only: a tool cannot edit either",
            [&] {
                memo.setReadOnly(true);
                tool->editableTextInterface()->deleteText(0, 5);
                const QAccessible::State state = tool->state();
                memo.setReadOnly(false);
                return QStringLiteral("%1%2 %3").arg(state.readOnly).arg(state.editable).arg(memo.Text().left(5));
            },
            "10 alpha" },
        { "wrapped row: after the row before, short of the line's end",
            [&] {
                memo.SetText(QStringLiteral("word ").repeated(40));
                int from = -1, to = -1, before = -1, beforeEnd = -1;
                text->textAtOffset(100, QAccessible::LineBoundary, &from, &to);
                text->textBeforeOffset(100, QAccessible::LineBoundary, &before, &beforeEnd);
                return QString::number(0 < from && from <= 100 && 100 < to && to < 200 && beforeEnd == from);
            },
            "1" },
        { "paragraph: the line with its break", [&] {
             memo.SetText(QStringLiteral("alpha beta\r\ngamma"));
             return at(text, 2, QAccessible::ParagraphBoundary);
         },
            "alpha beta\n 0-11" },
        { "word far into a line, counted from the text's start",
            [&] {
                memo.SetText(QStringLiteral("word ").repeated(1000) + QStringLiteral("alpha beta"));
                return at(text, 5007, QAccessible::WordBoundary);
            },
            "beta 5006-5010" },
        { "removals told as the text they removed",
            [&] {
                memo.SetText(QStringLiteral("alpha beta\r\ngamma"));
                caretAt(11, 11);
                MemoAccessible::toolsListen = [] { return true; };
                MemoAccessible::tell = hearRemoval;
                QTest::keyClick(&memo, Qt::Key_Backspace);
                tool->editableTextInterface()->deleteText(0, 6);
                MemoAccessible::toolsListen = &QAccessible::isActive;
                MemoAccessible::tell = &QAccessible::updateAccessibility;
                return removals().join(u'|');
            },
            "\n|alpha " },
    };
    memo.OnChange = TNotifyEvent::fromFunction([&](TObject*) { ++changes; });
    for (const auto& row : rows)
        EXPECT_EQ(row.actual(), row.expected) << row.what;
}
