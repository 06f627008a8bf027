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
