#include "app/typing/FindPattern.h"

QRegularExpression FindPattern::expressionOf(const QString& pattern, const FindOptions& options)
{
    QString source = options.isRegularExpression ? pattern : QRegularExpression::escape(pattern);
    if (options.isWholeWord)
        source = QStringLiteral("(?<!\\w)(?:") + source + QStringLiteral(")(?!\\w)");
    QRegularExpression::PatternOptions flags = QRegularExpression::UseUnicodePropertiesOption;
    // A line's start and end are those of each line, not of the text.
    if (options.isRegularExpression)
        flags |= QRegularExpression::MultilineOption;
    if (!options.isCaseSensitive)
        flags |= QRegularExpression::CaseInsensitiveOption;
    return QRegularExpression(source, flags);
}

QString FindPattern::replacementOf(const QString& replacement, const QRegularExpressionMatch& match,
    const FindOptions& options)
{
    if (!options.isRegularExpression)
        return replacement;
    QString text;
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement[i];
        if (c != u'\\' || i + 1 >= replacement.size()) {
            text += c;
            continue;
        }
        const QChar next = replacement[++i];
        if (next.isDigit() && next != u'0')
            text += match.captured(next.digitValue());
        else if (next == u'n')
            text += u'\n';
        else if (next == u't')
            text += u'\t';
        else
            text += next;
    }
    return text;
}

QString FindPattern::errorOf(const QRegularExpression& expression)
{
    return QStringLiteral("Not a valid regular expression: %1 (at character %2)")
        .arg(expression.errorString())
        .arg(expression.patternErrorOffset() + 1);
}
