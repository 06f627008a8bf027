#include "app/typing/TexText.h"

#include <algorithm>

namespace {

constexpr int Stretch = 1 << 14;
// Read before a position too, as a scan looks back a character or two.
constexpr int Behind = 256;

} // namespace

TexText::TexText(Reader reader, int length)
    : m_reader(std::move(reader))
    , m_length(length)
{
}

TexText::TexText(const QString& text)
    : m_length(int(text.size()))
    , m_buffer(text)
{
}

void TexText::load(int position)
{
    if (!m_reader || position < 0 || position >= m_length)
        return;
    m_start = std::max(0, position - Behind);
    m_buffer = m_reader(m_start, std::min(m_length, m_start + Stretch));
}

bool TexText::startsWith(int position, QStringView what)
{
    if (position < 0 || position + what.size() > m_length)
        return false;
    for (qsizetype i = 0; i < what.size(); ++i) {
        if (at(position + int(i)) != what[i])
            return false;
    }
    return true;
}

int TexText::indexOf(QChar c, int from, int limit)
{
    limit = std::min(limit, m_length);
    for (int i = std::max(0, from); i < limit;) {
        at(i);
        const int end = std::min(limit, m_start + int(m_buffer.size()));
        const qsizetype found = QStringView(m_buffer).first(end - m_start).indexOf(c, i - m_start);
        if (found >= 0)
            return m_start + int(found);
        i = end;
    }
    return -1;
}

QString TexText::mid(int from, int length)
{
    QString text;
    for (int i = from; i < std::min(m_length, from + length); ++i)
        text += at(i);
    return text;
}
