#include "app/preview/FormulaError.h"

#include <QVariantMap>

QList<FormulaError> FormulaError::listFrom(const QVariantList& report)
{
    QList<FormulaError> errors;
    errors.reserve(report.size());
    for (const QVariant& item : report) {
        const QVariantMap map = item.toMap();
        FormulaError error;
        error.start = map.value(QStringLiteral("start")).toLongLong();
        error.end = map.value(QStringLiteral("end")).toLongLong();
        error.errorAt = map.value(QStringLiteral("errorAt")).toLongLong();
        error.errorEnd = map.value(QStringLiteral("errorEnd")).toLongLong();
        error.reach = map.value(QStringLiteral("reach")).toLongLong();
        error.message = map.value(QStringLiteral("message")).toString();
        error.isWarning = map.value(QStringLiteral("isWarning")).toBool();
        const bool isWellFormed = 0 <= error.start && error.start <= error.errorAt && error.errorAt <= error.errorEnd
            && error.errorEnd <= error.end && error.end <= error.reach;
        if (isWellFormed)
            errors.append(error);
    }
    return errors;
}
