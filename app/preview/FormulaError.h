#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// A formula of the shown text that could not be typeset (or a warning), in positions of
// that text (UTF-16 code units): the formula with its delimiters, the part
// where the typesetter stopped, how far its cutting looked (an edit before
// reach may change it) and the reason.
struct FormulaError {
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype errorAt = 0;
    qsizetype errorEnd = 0;
    qsizetype reach = 0;
    QString message;
    // A warning (a reference without its label) rather than an error.
    bool isWarning = false;

    // The page's report as its channel hands it over; an entry that is not
    // a well-formed range is left out.
    static QList<FormulaError> listFrom(const QVariantList& report);
};
