#pragma once

#include <QObject>

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

private:
    TexSource* m_source;
    TexColouring* m_colouring;
    PairMarks* m_pairs;
};
