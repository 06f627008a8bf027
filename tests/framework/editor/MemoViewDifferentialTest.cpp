#include "framework/editor/EditorDuel.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace EditorDuel;

namespace {

// The sequences a run sends, by kind of text: many short ones, fewer in long
// lines (the stock editor lays a whole line out on every key). The variable
// TAMSEL_DIFF_SEQUENCES multiplies them.
struct Share {
    Corpus corpus;
    const char* name;
    int sequences;
};

const Share Shares[] = {
    { Corpus::Short, "short texts", 1000 },
    { Corpus::MixedScripts, "mixed scripts", 400 },
    { Corpus::LongLine, "long lines", 40 },
};

int factor()
{
    const int wanted = qEnvironmentVariableIntValue("TAMSEL_DIFF_SEQUENCES");
    return std::max(1, wanted);
}

QString listed(const QList<Key>& keys)
{
    QStringList names;
    for (const Key& key : keys)
        names << key.name();
    return names.join(QStringLiteral(", "));
}

} // namespace

// The same random keys go to our editor and to the stock editor; the text,
// the caret and the selection must agree after every key. A failure names
// the seed and the fewest keys that still part the two.
TEST(MemoViewDifferential, EditsAsTheStockEditorDoes)
{
    Duel duel;
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    for (const Share& share : Shares) {
        const int sequences = share.sequences * factor();
        for (int seed = 1; seed <= sequences; ++seed) {
            std::mt19937 random(seed * 7919u + uint(share.corpus));
            const Case run = randomCase(random, share.corpus);
            State ours;
            State stock;
            if (duel.run(run, &ours, &stock) >= 0) {
                const Case small = shrink(duel, run);
                duel.run(small, &ours, &stock);
                FAIL() << share.name << ", seed " << seed << ": from "
                       << State { run.text, run.caret, run.caret }.describe().toStdString() << "\nkeys: "
                       << listed(small.keys).toStdString() << "\nours:  " << ours.describe().toStdString()
                       << "\nstock: " << stock.describe().toStdString();
            }
            ++sent;
        }
    }
    std::printf("%d sequences in %lld ms\n", sent, qint64(clock.elapsed()));
}

// PageUp and PageDown over many lines, from the top, the middle and the
// end, with and without Shift: a page of rows and the caret's height on the
// screen kept through a run of page keys.
TEST(MemoViewDifferential, PagesAsTheStockEditorDoes)
{
    Duel duel;
    QString lines;
    for (int i = 0; i < 40; ++i)
        lines += QStringLiteral("line %1\n").arg(i);
    const Key down { Qt::Key_PageDown, {}, {} };
    const Key up { Qt::Key_PageUp, {}, {} };
    const Key selectDown { Qt::Key_PageDown, Qt::ShiftModifier, {} };
    const Key selectUp { Qt::Key_PageUp, Qt::ShiftModifier, {} };
    const Key lineDown { Qt::Key_Down, {}, {} };
    const Key end { Qt::Key_End, {}, {} };
    const Key top { Qt::Key_Home, Qt::ControlModifier, {} };
    const Case cases[] = {
        { Corpus::Short, lines, 0, { top, down, down, down, down, up, up, up, up } },
        { Corpus::Short, lines, 0, { lineDown, lineDown, lineDown, end, down, down, down, up, up, up } },
        { Corpus::Short, lines, 200, { down, up, selectDown, selectUp, selectUp } },
        { Corpus::Short, QStringLiteral("hello world\nabc"), 3, { down, up, selectDown } },
    };
    for (const Case& run : cases) {
        State ours;
        State stock;
        const int parted = duel.run(run, &ours, &stock);
        EXPECT_LT(parted, 0) << "after key " << parted << " from caret " << run.caret << "\nours:  "
                             << ours.describe().toStdString() << "\nstock: " << stock.describe().toStdString();
    }
}
