#include "editor/MemoLayout.h"
#include "editor/MemoPieces.h"

#include <QImage>
#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct LaidOut {
    QTextDocument document;
    MemoLayout* layout;

    explicit LaidOut(const QString& text, qreal tabDistance = 80)
        : layout(new MemoLayout(&document))
    {
        QTextOption option = document.defaultTextOption();
        option.setTabStopDistance(tabDistance);
        document.setDefaultTextOption(option);
        document.setDocumentLayout(layout);
        document.setPlainText(text);
    }

    QImage drawn(const MemoLayout::Composition& composition)
    {
        QImage image(600, layout->rowHeight(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setPen(Qt::black);
        layout->draw(&painter, {}, QRectF(image.rect()), {}, -1, composition);
        return image;
    }
};

// A tab lands on a tab stop of its line, however far into the line, in
// whichever piece it lies, and also after the line before it has changed.
TEST(MemoLayoutTest, TabStopsCountFromTheLinesStart)
{
    constexpr qreal Tab = 83; // no whole number of common character widths
    LaidOut laidOut(QString(9000, u'a') + u'\t' + u'b', Tab);
    const auto expectOnStop = [&](int position) {
        const qreal before = laidOut.layout->placeOf(position - 1).x;
        const qreal x = laidOut.layout->placeOf(position).x;
        const qreal offStop = std::remainder(x, Tab);
        EXPECT_NEAR(offStop, 0, 0.1) << "the tab ends at " << x;
        EXPECT_GT(x, before);
        EXPECT_LE(x - before, Tab + 0.1);
    };
    ASSERT_GT(MemoPieces::of(laidOut.document.firstBlock()).pieces.size(), 1);
    expectOnStop(9001);
    QTextCursor cursor(&laidOut.document);
    cursor.insertText(QStringLiteral("ii")); // the first piece narrows
    expectOnStop(9003);
}

// An input method's formats lie under its composition, wherever that is.
TEST(MemoLayoutTest, CompositionFormatsLieUnderTheComposition)
{
    LaidOut laidOut(QStringLiteral("xyz uvw"));
    MemoLayout::Composition composition { 7, QStringLiteral("\u00b4"), {}, 1 };
    const QImage plain = laidOut.drawn(composition);
    QTextCharFormat underlined;
    underlined.setFontUnderline(true);
    composition.formats = { { 0, 1, underlined } };
    const QImage formatted = laidOut.drawn(composition);
    const qreal compositionX = laidOut.layout->placeOf(7).x;
    int changed = 0;
    for (int y = 0; y < plain.height(); ++y) {
        for (int x = 0; x < plain.width(); ++x) {
            if (plain.pixel(x, y) == formatted.pixel(x, y))
                continue;
            ++changed;
            EXPECT_GE(x, std::floor(compositionX) - 1) << "a format drawn at " << x << ", " << y;
        }
    }
    EXPECT_GT(changed, 0);
}

} // namespace
