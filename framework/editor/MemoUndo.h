#pragma once

#include <QList>
#include <QString>

// The editor's undo history. Each step replaced some text at a place by
// other text, with the caret and anchor before and after. Keys typed one
// after the other join one step, as do deletions one after the other; any
// other edit, or a caret moved in between, starts a new one.
class MemoUndo {
public:
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

    QList<Step> m_steps;
    qsizetype m_done = 0;
    bool m_sealed = true;
};
