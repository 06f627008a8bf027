#include "editor/MemoLayout.h"
#include "editor/MemoPieces.h"
#include "editor/MemoText.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

// A document laid out by the editor's layout, its one line cut into pieces.
struct LaidOut {
    QTextDocument document;
    MemoLayout* layout;

    explicit LaidOut(const QString& text)
        : layout(new MemoLayout(&document))
    {
        document.setDocumentLayout(layout);
        document.setPlainText(text);
        MemoPieces::of(document.firstBlock());
    }

    void replace(int from, int to, const QString& text)
    {
        QTextCursor cursor(&document);
        cursor.beginEditBlock();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        cursor.insertText(text);
        cursor.endEditBlock();
    }

    // Every piece starts where the one before it ends, the last ends with
    // the line, and no piece starts between the halves of a pair.
    void expectPiecesCoverTheLine() const
    {
        const QTextBlock line = document.firstBlock();
        const MemoPieces& kept = MemoPieces::of(line);
        const QString text = line.text();
        int at = 0;
        for (const MemoPiece& piece : kept.pieces) {
            EXPECT_EQ(piece.start, at);
            EXPECT_FALSE(piece.start > 0 && text.at(piece.start).isLowSurrogate()) << piece.start;
            at += piece.length;
        }
        EXPECT_EQ(at, text.size());
        EXPECT_EQ(kept.length, text.size());
    }
};

} // namespace

// A line longer than two pieces pasted into a shown line is cut while the
// document reports the paste; reading its text then must not report the
// paste to the layout a second time (that recursed until the stack ran out).
TEST(MemoPieces, FollowAPasteOfAManyPieceLine)
{
    for (const QString& before : { QString(), QStringLiteral("x = 1") }) {
        LaidOut shown(before);
        shown.replace(int(before.size()), int(before.size()), QString(12000, u'a') + QString(12000, u'b'));
        shown.expectPiecesCoverTheLine();
        shown.replace(0, shown.document.characterCount() - 1, QString());
        shown.expectPiecesCoverTheLine();
    }
}

// Cuts never part the halves of a pair, and an edit in the first piece of a
// long line moves the starts of every piece after it.
TEST(MemoPieces, CutBetweenCharactersAndFollowAnEditInTheFirstPiece)
{
    QString pairs;
    for (int i = 0; i < 20000; ++i)
        pairs += QStringLiteral("\U0001D400");
    LaidOut line(QStringLiteral("a") + pairs);
    line.expectPiecesCoverTheLine();
    const int secondStart = MemoPieces::of(line.document.firstBlock()).pieces.value(1).start;
    EXPECT_GT(secondStart, 0);
    line.replace(10, 10, QStringLiteral("xyz"));
    line.expectPiecesCoverTheLine();
    EXPECT_EQ(MemoPieces::of(line.document.firstBlock()).pieces.value(1).start, secondStart + 3);
    line.replace(1, 5, QString());
    line.expectPiecesCoverTheLine();
}
