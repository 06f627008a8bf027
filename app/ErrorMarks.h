#pragma once

#include "app/preview/FormulaError.h"

#include <QList>
#include <QObject>
#include "controls/TMemo.h"

#include <utility>

// The marks of the formulas that could not be typeset, drawn over the
// editor's text as extra selections: a red wavy line under the place where
// the typesetter stopped, with the reason as its tool tip, and the rest of
// the formula lightly shaded. Only the drawing changes; the text, its undo
// history and everything made from the text stay as they are. An edit drops
// the marks it may have made stale, those of formulas whose cutting looked
// at the edited place or past it; the next refresh brings them back.
class ErrorMarks : public QObject {
    Q_OBJECT

public:
    explicit ErrorMarks(TMemo* editor);

    // Marks the errors the preview found in the text it showed. The
    // editor's line breaks are single characters, as in the shown text, so
    // positions carry over; of a text edited since, only the formulas
    // before the first difference are marked.
    void show(const QString& shownText, const QList<FormulaError>& errors);

    // The errors marked now, for the tool tips and for tests.
    const QList<FormulaError>& errors() const { return m_errors; }
    // The reason shown at a position of the text, or empty.
    QString messageAt(qsizetype position) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onContentsChange(int position, int removed, int added);
    void draw();
    void drawIfScrolledAway();
    std::pair<qsizetype, qsizetype> visibleRange() const;

    TMemo* m_editor;
    QList<FormulaError> m_errors; // in the order of the text
    qsizetype m_markedFrom = 0;
    qsizetype m_markedTo = 0;
};
