#include "settings/ProfileText.h"

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
    profile.m_bytes = bytes;
    profile.index();
    // Lines added later end as the file's first line does.
    for (const Line& line : profile.m_lines)
        if (line.endLength > 0) {
            profile.m_lineEnd = profile.m_bytes.mid(line.start + line.length, line.endLength);
            break;
        }
    return profile;
}

void ProfileText::index()
{
    m_lines.clear();
    indexRange(m_bytes.startsWith(Bom) ? Bom.size() : 0, m_bytes.size(), m_lines);
}

void ProfileText::indexRange(qsizetype from, qsizetype to, std::vector<Line>& lines) const
{
    const char* data = m_bytes.constData();
    qsizetype pos = from;
    while (pos < to) {
        qsizetype end = pos;
        while (end < to && data[end] != '\n' && data[end] != '\r')
            ++end;
        qsizetype endLength = 0;
        if (end < to)
            endLength = data[end] == '\r' && end + 1 < to && data[end + 1] == '\n' ? 2 : 1;
        lines.push_back({ pos, end - pos, endLength });
        pos = end + endLength;
    }
}

void ProfileText::replaceLines(qsizetype first, qsizetype last, const QByteArray& bytes)
{
    const qsizetype count = qsizetype(m_lines.size());
    const qsizetype from = first < count ? m_lines[first].start : m_bytes.size();
    const qsizetype to = last < count ? m_lines[last].start : m_bytes.size();
    m_bytes.replace(from, to - from, bytes);
    const qsizetype joint = from + bytes.size();
    // Bytes that now meet may read differently: a CR before an LF, or a
    // byte-order mark at the start. Such a text is indexed whole again.
    if ((joint > 0 && joint < m_bytes.size() && m_bytes[joint - 1] == '\r' && m_bytes[joint] == '\n')
        || (from == 0 && m_bytes.startsWith(Bom))) {
        index();
        return;
    }
    std::vector<Line> added;
    indexRange(from, joint, added);
    const qsizetype delta = bytes.size() - (to - from);
    for (qsizetype i = last; i < count; ++i)
        m_lines[i].start += delta;
    m_lines.erase(m_lines.begin() + first, m_lines.begin() + last);
    m_lines.insert(m_lines.begin() + first, added.begin(), added.end());
}

QByteArray ProfileText::serialize() const
{
    return m_bytes;
}

std::optional<QString> ProfileText::sectionNameOf(const Line& line) const
{
    // Most lines are keys: they are told apart without a copy.
    const QByteArrayView view = textOf(line);
    qsizetype first = 0;
    while (first < view.size() && isBlank(view[first]))
        ++first;
    if (first == view.size() || view[first] != '[')
        return std::nullopt;
    const QByteArray text = trimmedBlanks(view.toByteArray());
    qsizetype close = text.indexOf(']');
    if (close < 0)
        close = text.size();
    return trimmedBlanks(QString::fromUtf8(text.mid(1, close - 1)));
}

std::optional<QString> ProfileText::keyNameOf(const Line& line) const
{
    const QByteArrayView text = textOf(line);
    const qsizetype equals = text.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    return trimmedBlanks(QString::fromUtf8(text.first(equals)));
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
    const QByteArrayView text = textOf(m_lines[line]);
    return trimmedBlanks(QString::fromUtf8(text.sliced(text.indexOf('=') + 1)));
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
    // The line before may be a last line without a line end.
    if (index > 0 && m_lines[index - 1].endLength == 0) {
        const QByteArray before = textOf(m_lines[index - 1]).toByteArray();
        replaceLines(index - 1, index, before + m_lineEnd + text + m_lineEnd);
        return;
    }
    replaceLines(index, index, text + m_lineEnd);
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
        const Line& found = m_lines[line];
        const QByteArrayView text = textOf(found);
        const QByteArray end = m_bytes.mid(found.start + found.length, found.endLength);
        replaceLines(line, line + 1, text.first(text.indexOf('=') + 1).toByteArray() + value.toUtf8() + end);
        return true;
    }
    // After the section's last line that is not blank, so that blank lines
    // before the next section stay there.
    qsizetype insertAt = sectionEnd(header);
    while (insertAt > header + 1 && trimmedBlanks(textOf(m_lines[insertAt - 1]).toByteArray()).isEmpty())
        --insertAt;
    insertLine(insertAt, keyLine);
    return true;
}

void ProfileText::removeSection(const QString& section)
{
    for (qsizetype header = findSection(section); header >= 0; header = findSection(section)) {
        replaceLines(header, sectionEnd(header), {});
    }
}
