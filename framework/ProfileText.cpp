#include "ProfileText.h"

namespace {

const QByteArray Bom = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimmedBlanks(const QByteArray& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

QString trimmedBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t'))
        ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.mid(begin, end - begin);
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool hasLineBreak(const QString& text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

} // namespace

ProfileText ProfileText::parse(const QByteArray& bytes)
{
    ProfileText profile;
    qsizetype pos = 0;
    if (bytes.startsWith(Bom)) {
        profile.m_hasBom = true;
        pos = Bom.size();
    }
    bool lineEndKnown = false;
    while (pos < bytes.size()) {
        qsizetype end = pos;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        Line line { bytes.mid(pos, end - pos), {} };
        if (end < bytes.size()) {
            const bool crlf = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n';
            line.end = bytes.mid(end, crlf ? 2 : 1);
        }
        // Lines added later end as the file's first line does.
        if (!lineEndKnown && !line.end.isEmpty()) {
            profile.m_lineEnd = line.end;
            lineEndKnown = true;
        }
        pos = end + line.end.size();
        profile.m_lines.push_back(std::move(line));
    }
    return profile;
}

QByteArray ProfileText::serialize() const
{
    QByteArray bytes;
    qsizetype size = m_hasBom ? Bom.size() : 0;
    for (const Line& line : m_lines)
        size += line.text.size() + line.end.size();
    bytes.reserve(size);
    if (m_hasBom)
        bytes += Bom;
    for (const Line& line : m_lines) {
        bytes += line.text;
        bytes += line.end;
    }
    return bytes;
}

std::optional<QString> ProfileText::sectionNameOf(const Line& line) const
{
    const QByteArray text = trimmedBlanks(line.text);
    if (!text.startsWith('['))
        return std::nullopt;
    qsizetype close = text.indexOf(']');
    if (close < 0)
        close = text.size();
    return trimmedBlanks(QString::fromUtf8(text.mid(1, close - 1)));
}

std::optional<QString> ProfileText::keyNameOf(const Line& line) const
{
    const qsizetype equals = line.text.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    return trimmedBlanks(QString::fromUtf8(line.text.left(equals)));
}

qsizetype ProfileText::findSection(const QString& section) const
{
    const QString name = trimmedBlanks(section);
    for (qsizetype i = 0; i < qsizetype(m_lines.size()); ++i) {
        const auto found = sectionNameOf(m_lines[i]);
        if (found && sameName(*found, name))
            return i;
    }
    return -1;
}

qsizetype ProfileText::sectionEnd(qsizetype header) const
{
    qsizetype i = header + 1;
    while (i < qsizetype(m_lines.size()) && !sectionNameOf(m_lines[i]))
        ++i;
    return i;
}

qsizetype ProfileText::findKey(qsizetype header, const QString& key) const
{
    const QString name = trimmedBlanks(key);
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const auto found = keyNameOf(m_lines[i]);
        if (found && sameName(*found, name))
            return i;
    }
    return -1;
}

std::optional<QString> ProfileText::rawValue(const QString& section, const QString& key) const
{
    const qsizetype header = findSection(section);
    if (header < 0)
        return std::nullopt;
    const qsizetype line = findKey(header, key);
    if (line < 0)
        return std::nullopt;
    const QByteArray& text = m_lines[line].text;
    return trimmedBlanks(QString::fromUtf8(text.mid(text.indexOf('=') + 1)));
}

QString ProfileText::readBack(const QString& rawValue)
{
    QString value = rawValue;
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            value = value.mid(1, value.size() - 2);
    }
    if (value.size() > MaxValueLength) {
        // Never leave half of a surrogate pair at the end.
        const int cut = value[MaxValueLength - 1].isHighSurrogate() ? MaxValueLength - 1 : MaxValueLength;
        value.truncate(cut);
    }
    return value;
}

bool ProfileText::isValidSectionName(const QString& section)
{
    return !trimmedBlanks(section).isEmpty() && !section.contains(u']') && !hasLineBreak(section);
}

bool ProfileText::isValidKeyName(const QString& key)
{
    const QString name = trimmedBlanks(key);
    return !name.isEmpty() && !name.startsWith(u'[') && !key.contains(u'=') && !hasLineBreak(key);
}

bool ProfileText::isValidValue(const QString& value)
{
    return !hasLineBreak(value);
}

void ProfileText::insertLine(qsizetype index, const QByteArray& text)
{
    // The line before the new one may be a last line without a line end.
    if (index > 0 && m_lines[index - 1].end.isEmpty())
        m_lines[index - 1].end = m_lineEnd;
    m_lines.insert(m_lines.begin() + index, Line { text, m_lineEnd });
}

bool ProfileText::setValue(const QString& section, const QString& key, const QString& value)
{
    if (!isValidSectionName(section) || !isValidKeyName(key) || !isValidValue(value))
        return false;
    const QByteArray keyLine = trimmedBlanks(key).toUtf8() + '=' + value.toUtf8();
    qsizetype header = findSection(section);
    if (header < 0) {
        insertLine(qsizetype(m_lines.size()), '[' + trimmedBlanks(section).toUtf8() + ']');
        insertLine(qsizetype(m_lines.size()), keyLine);
        return true;
    }
    const qsizetype line = findKey(header, key);
    if (line >= 0) {
        QByteArray& text = m_lines[line].text;
        text = text.left(text.indexOf('=') + 1) + value.toUtf8();
        return true;
    }
    // After the section's last line that is not blank, so that blank lines
    // before the next section stay there.
    qsizetype insertAt = sectionEnd(header);
    while (insertAt > header + 1 && trimmedBlanks(m_lines[insertAt - 1].text).isEmpty())
        --insertAt;
    insertLine(insertAt, keyLine);
    return true;
}

void ProfileText::removeSection(const QString& section)
{
    for (qsizetype header = findSection(section); header >= 0; header = findSection(section))
        m_lines.erase(m_lines.begin() + header, m_lines.begin() + sectionEnd(header));
}
