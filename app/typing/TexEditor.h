#pragma once

#include <QObject>

class QKeyEvent;

class AutoPairs;
class CompletionList;
class FindBar;
class MemoView;
class PairMarks;
class TexColouring;
class TexSource;

// Makes an editor a TeX editor: its text coloured as TeX, the partner of
// the brace at the caret marked.
class TexEditor : public QObject {
    Q_OBJECT

public:
    explicit TexEditor(MemoView* view);

    TexSource* source() const { return m_source; }
    PairMarks* pairs() const { return m_pairs; }
    FindBar* findBar() const { return m_findBar; }
    CompletionList* completion() const { return m_completion; }
    // The definitions of the macros file, offered with the commands.
    void setMacrosText(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool takeKey(QKeyEvent* key);

    MemoView* m_view;
    TexSource* m_source;
    TexColouring* m_colouring;
    PairMarks* m_pairs;
    FindBar* m_findBar;
    AutoPairs* m_autoPairs;
    CompletionList* m_completion;
    bool m_isKeyTyped = false;
};
