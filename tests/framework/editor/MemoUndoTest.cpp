#include "controls/TMemo.h"
#include "editor/MemoUndo.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

MemoUndo::Step deleted(int position, const QString& removed)
{
    return { position, removed, QString(), position + int(removed.size()), position + int(removed.size()), position, true };
}

} // namespace

// Backspaces one after the other are one step that gives the text back in
// its order; the history holds no more text than its bound, dropping the
// oldest steps first.
TEST(MemoUndo, JoinsBackspacesAndKeepsWithinItsBound)
{
    MemoUndo joined;
    joined.record(deleted(2, QStringLiteral("c")));
    joined.record(deleted(1, QStringLiteral("b")));
    joined.record(deleted(0, QStringLiteral("a")));
    const MemoUndo::Step step = joined.takeUndo();
    EXPECT_EQ(step.removed, QStringLiteral("abc"));
    EXPECT_EQ(step.caretBefore, 3);
    EXPECT_FALSE(joined.canUndo());

    MemoUndo bounded(100);
    for (int i = 0; i < 5; ++i)
        bounded.record({ 0, QString(), QString(30, u'x'), 0, 0, 30, false });
    int kept = 0;
    while (bounded.canUndo()) {
        bounded.takeUndo();
        ++kept;
    }
    EXPECT_EQ(kept, 3);
    bounded.record({ 0, QString(), QString(101, u'x'), 0, 0, 101, false });
    EXPECT_FALSE(bounded.canUndo());
}

// The restore hand-over pastes back the text the minimise copied: no change,
// no step that would hold another copy of a text of many megabytes.
TEST(MemoUndo, APasteOfTheTextAlreadyHeldRecordsNothing)
{
    TMemo memo(nullptr);
    memo.SetText(QStringLiteral("x = 1\r\ny = \U0001D400"));
    QSignalSpy undoAvailable(&memo, &TMemo::undoAvailable);
    memo.SelectAll();
    memo.CopyToClipboard();
    memo.PasteFromClipboard();
    EXPECT_EQ(memo.Text(), QStringLiteral("x = 1\r\ny = \U0001D400"));
    EXPECT_EQ(undoAvailable.count(), 0);
    EXPECT_EQ(memo.textCursor().position(), memo.document()->characterCount() - 1);
}
