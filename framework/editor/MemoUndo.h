#pragma once

#include <QList>
#include <QString>

// The editor's undo history. Each step replaced some text at a place by
// other text, with the caret and anchor before and after. Keys typed one
// after the other join one step, as do deletions one after the other; any
// other edit, or a caret moved in between, starts a new one.
class MemoUndo {
public:
    // The history keeps at most this many characters of text (twice as many
    // bytes): a few pastes of a line of many megabytes can be taken back,
    // while select-all-and-paste cycles of such a text no longer pile up
    // copies without end. The oldest steps go first; a step larger than the
    // whole bound is not kept, and the history before it is gone too.
    static constexpr qsizetype DefaultCharacterBound = qsizetype(32) << 20;

    explicit MemoUndo(qsizetype characterBound = DefaultCharacterBound)
        : m_bound(characterBound)
    {
    }

    struct Step {
        int position = 0;
        QString removed;
        QString inserted;
        int caretBefore = 0;
        int anchorBefore = 0;
        int caretAfter = 0;
        bool joinable = false; // typed or deleted, so a like edit may join it
    };

    // A new step; a joinable one joins the last when it continues it.
    void record(const Step& step);
    // The next record starts a step of its own.
    void seal() { m_sealed = true; }
    void clear();

    bool canUndo() const { return m_done > 0; }
    bool canRedo() const { return m_done < m_steps.size(); }
    // The step to take back or do again; the history moves past it.
    Step takeUndo();
    Step takeRedo();

private:
    bool joins(const Step& last, const Step& step) const;

    static qsizetype sizeOf(const Step& step) { return step.removed.size() + step.inserted.size(); }
    void keepWithinBound();

    QList<Step> m_steps;
    qsizetype m_done = 0;
    qsizetype m_bound;
    qsizetype m_held = 0; // characters of text in the steps
    bool m_sealed = true;
};
