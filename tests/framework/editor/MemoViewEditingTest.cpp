#include "controls/TMemo.h"
#include "core/Exception.h"
#include "TestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

struct Step {
    QKeySequence keys;
    const char16_t* tail; // the edited stretch afterwards
    int caret; // the caret's place in it
};

// Types a key sequence as the user would.
void press(TMemo& memo, const QKeySequence& keys)
{
    for (int i = 0; i < keys.count(); ++i)
        QTest::keyClick(&memo, keys[i].key(), keys[i].keyboardModifiers());
}

} // namespace

// The same keys do the same to a stretch of a short line and to that
// stretch in a long line, where it straddles two of the pieces the line is
// laid out in; the caret is drawn where a click finds it again, with the
// lines running on or wrapped; and a listener that asks where text is
// while the document reports each change sees the place after it.
TEST(MemoViewEditing, KeysEditALongLineAsTheyEditAShortOne)
{
    const QString tail = QStringLiteral("alpha beta \U0001F600gamma");
    const Step steps[] = {
        { QKeySequence(Qt::CTRL | Qt::Key_Right), u"alpha beta \U0001F600gamma", 6 },
        { QKeySequence(Qt::CTRL | Qt::Key_Right), u"alpha beta \U0001F600gamma", 11 },
        { QKeySequence(Qt::Key_Right), u"alpha beta \U0001F600gamma", 13 },
        { QKeySequence(Qt::Key_Backspace), u"alpha beta gamma", 11 },
        { QKeySequence(Qt::CTRL | Qt::Key_Left), u"alpha beta gamma", 6 },
        { QKeySequence(Qt::Key_X, Qt::Key_Y), u"alpha xybeta gamma", 8 },
        { QKeySequence(Qt::CTRL | Qt::Key_Z), u"alpha beta gamma", 6 },
        { QKeySequence(Qt::CTRL | Qt::Key_Z), u"alpha beta \U0001F600gamma", 13 },
        { QKeySequence(Qt::Key_Delete, Qt::Key_Delete), u"alpha beta \U0001F600mma", 13 },
        { QKeySequence(Qt::CTRL | Qt::Key_Z), u"alpha beta \U0001F600gamma", 13 },
        { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), u"alpha beta \U0001F600mma", 13 },
    };
    for (const int before : { 0, 4090 }) {
        TMemo memo(nullptr);
        memo.resize(300, 120);
        memo.show();
        memo.setFocus();
        const QString filler(before, u'x');
        memo.SetText(filler + tail + QString(before ? 6000 : 0, u'y'));
        int caretSeenInChange = -1;
        QObject::connect(memo.document(), &QTextDocument::contentsChange, &memo,
            [&] { caretSeenInChange = memo.cursorForPosition(memo.cursorRect().center()).position(); });
        memo.setTextCursor(memo.cursorForPosition(QPoint(0, 0)));
        QTest::keyClick(&memo, Qt::Key_Home);
        for (int i = 0; i < before; ++i)
            memo.moveCursor(QTextCursor::NextCharacter);
        for (const Step& step : steps) {
            press(memo, step.keys);
            const QString expected = QString::fromUtf16(step.tail);
            EXPECT_EQ(memo.Text().mid(before, expected.size()), expected) << before << " " << step.keys.toString().toStdString();
            EXPECT_EQ(memo.textCursor().position(), before + step.caret) << before;
            for (const auto bars : { TMemo::ssBoth, TMemo::ssNone }) {
                memo.SetScrollBars(bars);
                memo.ensureCursorVisible();
                EXPECT_EQ(memo.cursorForPosition(memo.cursorRect().center()).position(), before + step.caret) << before;
            }
        }
        EXPECT_GE(caretSeenInChange, 0);
        press(memo, QKeySequence(Qt::SHIFT | Qt::Key_Right, Qt::SHIFT | Qt::Key_Right, Qt::SHIFT | Qt::Key_Right));
        memo.CopyToClipboard();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("mma")) << before;
    }
}

// Wrapped rows: Up and Down keep the column the caret came from, across a
// short row; a line's rows all have the line's text.
TEST(MemoViewEditing, UpAndDownKeepTheColumnThroughWrappedRows)
{
    TMemo memo(nullptr);
    memo.resize(200, 200);
    memo.show();
    memo.setFocus();
    memo.SetText(QString(300, u'm') + QStringLiteral("\nab\n") + QString(300, u'm'));
    memo.moveCursor(QTextCursor::Start);
    for (int i = 0; i < 12; ++i)
        memo.moveCursor(QTextCursor::NextCharacter);
    const int column = memo.cursorRect().x();
    int rows = 0;
    while (memo.textCursor().blockNumber() == 0 && rows < 400) {
        QTest::keyClick(&memo, Qt::Key_Down);
        ++rows;
    }
    EXPECT_GT(rows, 2) << "the long line wraps";
    EXPECT_EQ(memo.textCursor().position(), 303) << "the short line's end";
    QTest::keyClick(&memo, Qt::Key_Down);
    EXPECT_EQ(memo.cursorRect().x(), column) << "the column comes back after the short line";
    EXPECT_EQ(memo.textCursor().position(), 304 + 12);
}

// What an input method composes shows in the editor but is not its text
// until it is committed; the commit is one edit, undone as one.
TEST(MemoViewEditing, InputMethodComposesThenCommits)
{
    TMemo memo(nullptr);
    memo.show();
    memo.setFocus();
    memo.SetText(QStringLiteral("a="));
    memo.moveCursor(QTextCursor::End);
    QInputMethodEvent composing(QStringLiteral("ni"), {});
    QCoreApplication::sendEvent(&memo, &composing);
    EXPECT_EQ(memo.Text(), QStringLiteral("a="));
    EXPECT_EQ(memo.composition(), QStringLiteral("ni"));
    EXPECT_EQ(memo.inputMethodQuery(Qt::ImSurroundingText).toString(), QStringLiteral("a="));
    QInputMethodEvent committing;
    committing.setCommitString(QStringLiteral("\u4f60"));
    QCoreApplication::sendEvent(&memo, &committing);
    EXPECT_EQ(memo.Text(), QStringLiteral("a=\u4f60"));
    EXPECT_TRUE(memo.composition().isEmpty());
    memo.undo();
    EXPECT_EQ(memo.Text(), QStringLiteral("a="));
}

// A double click selects the word under the pointer, a third click soon
// after the line with its break.
TEST(MemoViewEditing, ClicksSelectAWordThenItsLine)
{
    TMemo memo(nullptr);
    memo.resize(300, 120);
    memo.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&memo));
    memo.SetText(QStringLiteral("alpha beta\ngamma"));
    const QPoint onBeta = memo.cursorRect(memo.cursorForPosition(QPoint(0, 0))).center() + QPoint(memo.fontMetrics().horizontalAdvance(QStringLiteral("alpha be")), 0);
    QTest::mouseDClick(memo.viewport(), Qt::LeftButton, {}, onBeta);
    memo.CopyToClipboard();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("beta"));
    QTest::mouseClick(memo.viewport(), Qt::LeftButton, {}, onBeta);
    memo.CopyToClipboard();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("alpha beta\n"));
}

// Bad input: a paste past the editor's bound is refused whole and says so;
// an input method's long commit, and a paste while it composes, lose nothing.
TEST(MemoViewEditing, BadInputIsRefusedWholeOrTakenWhole)
{
    TMemo memo(nullptr);
    memo.show();
    memo.setFocus();
    memo.SetText(QStringLiteral("a=b"));
    memo.moveCursor(QTextCursor::End);
    QGuiApplication::clipboard()->setText(QStringLiteral("0123456789"));
    memo.SetCharacterBound(12);
    EXPECT_THROW(memo.PasteFromClipboard(), EOutOfResources);
    EXPECT_EQ(memo.Text(), QStringLiteral("a=b"));
    EXPECT_EQ(memo.textCursor().position(), 3);
    memo.SetCharacterBound(13);
    memo.PasteFromClipboard();
    EXPECT_EQ(memo.Text(), QStringLiteral("a=b0123456789"));
    memo.undo();
    memo.SetCharacterBound(MemoView::DefaultCharacterBound);

    QString many;
    while (many.size() < 10000)
        many += many.size() % 7 == 0 ? QStringLiteral("\U0001D400") : QStringLiteral("x\u0301");
    QInputMethodEvent committing;
    committing.setCommitString(many);
    QCoreApplication::sendEvent(&memo, &committing);
    EXPECT_EQ(memo.Text(), QStringLiteral("a=b") + many);
    memo.undo();
    EXPECT_EQ(memo.Text(), QStringLiteral("a=b"));

    QInputMethodEvent composing(QStringLiteral("\u00b4"), {});
    QCoreApplication::sendEvent(&memo, &composing);
    memo.PasteFromClipboard();
    EXPECT_EQ(memo.Text(), QStringLiteral("a=b0123456789"));
    EXPECT_EQ(memo.composition(), QStringLiteral("\u00b4"));
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("\u00e9"));
    QCoreApplication::sendEvent(&memo, &composed);
    EXPECT_EQ(memo.Text(), QStringLiteral("a=b0123456789\u00e9"));
}
