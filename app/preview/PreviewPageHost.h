#pragma once

#include <QObject>
#include <QVariantList>

// The pane's side of the channel to the preview page: the page calls shown()
// when the text with the given serial number is shown with every formula
// typeset, after errorsShown() with the formulas of that text that could not
// be typeset, and formulaActivated() when a formula is double-clicked.
// Nothing else of the pane is reachable from the page.
class PreviewPageHost : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

public slots:
    void shown(int serial, double ms);
    void errorsShown(int serial, const QVariantList& errors);
    // A formula was double-clicked; where its source starts in the shown text.
    void formulaActivated(int place);

signals:
    void pageFormulaActivated(int place);
    void pageShown(int serial, double ms);
    void pageErrorsShown(int serial, const QVariantList& errors);
};
