#include "editor/MemoUndo.h"

void MemoUndo::record(const Step& step)
{
    m_steps.resize(m_done);
    if (!m_sealed && !m_steps.isEmpty() && joins(m_steps.last(), step)) {
        Step& last = m_steps.last();
        if (step.inserted.isEmpty() && step.position < last.position) {
            // Backspace: the removed text grows at the front.
            last.removed.prepend(step.removed);
            last.position = step.position;
        } else {
            last.removed += step.removed;
            last.inserted += step.inserted;
        }
        last.caretAfter = step.caretAfter;
    } else {
        m_steps.append(step);
    }
    m_done = m_steps.size();
    m_sealed = !step.joinable;
}

// Typing continues where the last typing ended; a deletion continues where
// the last one left the caret, forwards or backwards.
bool MemoUndo::joins(const Step& last, const Step& step) const
{
    if (!last.joinable || !step.joinable)
        return false;
    if (step.removed.isEmpty() && !step.inserted.isEmpty())
        return !last.inserted.isEmpty() && step.position == last.position + last.inserted.size();
    const bool deleting = step.inserted.isEmpty() && last.inserted.isEmpty();
    if (!deleting)
        return false;
    return step.position == last.position || step.position + step.removed.size() == last.position;
}

void MemoUndo::clear()
{
    m_steps.clear();
    m_done = 0;
    m_sealed = true;
}

MemoUndo::Step MemoUndo::takeUndo()
{
    m_sealed = true;
    return m_steps[--m_done];
}

MemoUndo::Step MemoUndo::takeRedo()
{
    m_sealed = true;
    return m_steps[m_done++];
}
