#pragma once

#include <QObject>
#include <QPointer>

class MemoView;
class QKeyEvent;

// Typing {, [ or ( before white space or at the end of a line inserts its
// partner after the caret, in one step that one undo takes back. Typing the
// partner while the caret stands before it steps over it, and Backspace
// right after the opening one removes both.
class AutoPairs : public QObject {
    Q_OBJECT

public:
    explicit AutoPairs(MemoView* view);

    // Handles a key the editor is about to get; true when it was handled.
    bool takeKey(const QKeyEvent* key);

private:
    void follow(int from, int removed, int added);
    QChar characterAt(int position) const;

    QPointer<MemoView> m_view;
    // The partner inserted last, while it stands where it was put: the
    // caret must be between it and its opening one for it to count.
    int m_opening = -1;
    int m_partner = -1;
};
