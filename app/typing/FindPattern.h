#pragma once

#include <QRegularExpression>
#include <QString>

// What the find bar looks for: plain text or a regular expression, with
// or without regard to case, anywhere or as a whole word.
struct FindOptions {
    bool isCaseSensitive = false;
    bool isWholeWord = false;
    bool isRegularExpression = false;
};

namespace FindPattern {

// The expression that finds a pattern with the options; check isValid() and
// errorString() for a regular expression that does not compile.
QRegularExpression expressionOf(const QString& pattern, const FindOptions& options);
// The text a match is replaced with: a regular expression's \1 .. \9 stand
// for its groups and \\ for a backslash; plain text stands as it is.
QString replacementOf(const QString& replacement, const QRegularExpressionMatch& match, const FindOptions& options);
// The message the bar shows for an expression that does not compile.
QString errorOf(const QRegularExpression& expression);

} // namespace FindPattern
