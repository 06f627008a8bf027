#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

#include <random>

class MemoView;
class QPlainTextEdit;

// Drives the editor view and a stock QPlainTextEdit with the same keys and
// tells where they part.
namespace EditorDuel {

// A key as the test sends it: a key code with modifiers, or typed text.
struct Key {
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    QString text;
    QString name() const;
};

struct State {
    QString text;
    int anchor = 0;
    int position = 0;
    bool operator==(const State&) const = default;
    QString describe() const;
};

// The kinds of starting text.
enum class Corpus { Short, LongLine, MixedScripts };

struct Case {
    Corpus corpus = Corpus::Short;
    QString text;
    int caret = 0;
    QList<Key> keys;
};

Case randomCase(std::mt19937& random, Corpus corpus);

// Both editors, shown side by side with the same font and size.
class Duel {
public:
    Duel();
    ~Duel();

    // Runs a case on both editors; the first key after which they disagree,
    // or -1 when they agree after every key. The states are set to where
    // they parted.
    int run(const Case& run, State* ours, State* stock);

private:
    struct Impl;
    Impl* d;
};

// The smallest case found by dropping keys that still parts the editors.
Case shrink(Duel& duel, Case failing);

} // namespace EditorDuel
