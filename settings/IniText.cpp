#include "settings/IniText.h"

namespace IniStore {

namespace {

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool isDecimalDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// A hexadecimal 32-bit pattern, or a signed decimal within the given range.
std::optional<qint64> convert(const QString& source, qint64 decimalMax)
{
    QString text = source;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X'))
        text = u'$' + text.mid(2);
    qsizetype pos = 0;
    while (pos < text.size() && text[pos] == u' ')
        ++pos;
    QStringView rest = QStringView(text).mid(pos);
    qsizetype prefix = 0;
    if (rest.startsWith(u'$') || rest.startsWith(u'x') || rest.startsWith(u'X'))
        prefix = 1;
    else if (rest.startsWith(u"0x") || rest.startsWith(u"0X"))
        prefix = 2;
    if (prefix > 0) {
        const QStringView digits = rest.mid(prefix);
        if (digits.isEmpty() || digits.size() > 8 || !std::all_of(digits.begin(), digits.end(), isHexDigit))
            return std::nullopt;
        return qint64(digits.toUInt(nullptr, 16));
    }
    bool negative = false;
    if (rest.startsWith(u'-') || rest.startsWith(u'+')) {
        negative = rest[0] == u'-';
        rest = rest.mid(1);
    }
    if (rest.isEmpty() || !std::all_of(rest.begin(), rest.end(), isDecimalDigit))
        return std::nullopt;
    qint64 value = 0;
    for (QChar digit : rest) {
        value = value * 10 + digit.unicode() - u'0';
        if (value > decimalMax + 1)
            return std::nullopt;
    }
    value = negative ? -value : value;
    if (value < -qint64(2147483648LL) || value > decimalMax)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<qint32> StrToInt(const QString& text)
{
    const auto value = convert(text, 2147483647LL);
    if (!value)
        return std::nullopt;
    return qint32(quint32(*value));
}

int StrToIntDef(const QString& text, int defaultValue)
{
    return StrToInt(text).value_or(defaultValue);
}

std::optional<quint32> StrToUInt(const QString& text)
{
    const auto value = convert(text, 4294967295LL);
    if (!value)
        return std::nullopt;
    return quint32(*value);
}

QString Trim(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] <= u' ')
        ++begin;
    while (end > begin && text[end - 1] <= u' ')
        --end;
    return text.mid(begin, end - begin);
}

} // namespace IniStore
