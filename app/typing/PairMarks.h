#pragma once

#include "app/typing/TexPairs.h"

#include <QObject>
#include <QPointer>

#include <optional>

class MemoView;
class TexSource;

// Marks the partner of the pair element beside the caret (a brace, bracket,
// \left or \right, \begin or \end, math delimiter), or marks the element as
// unmatched. The partner is looked for in the stretch around the caret, near
// first; one further away than the widest stretch is left unmarked.
class PairMarks : public QObject {
    Q_OBJECT

public:
    PairMarks(MemoView* view, TexSource* source);

    // The pair at the caret, when there is one.
    std::optional<TexPairs::Result> current() const { return m_current; }
    static constexpr char MarksName[] = "pairs";

    // Looks at the caret again now (it does after every move and edit).
    void update();

private:
    std::optional<TexPairs::Result> pairAt(int position);

    QPointer<MemoView> m_view;
    TexSource* m_source;
    std::optional<TexPairs::Result> m_current;
    bool m_isPending = false;
};
