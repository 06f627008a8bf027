#pragma once

#include <QString>

#include <functional>

// A text read a stretch at a time as a scan moves on, so a scan over a line
// of many megabytes never holds more than a stretch of it. Positions outside
// the text read as a null character.
class TexText {
public:
    // Reads the characters from one position to another.
    using Reader = std::function<QString(int from, int to)>;

    TexText(Reader reader, int length);
    explicit TexText(const QString& text);

    int length() const { return m_length; }
    QChar at(int position)
    {
        if (position < m_start || position >= m_start + m_buffer.size())
            load(position);
        return position >= 0 && position < m_length ? m_buffer.at(position - m_start) : QChar();
    }
    bool startsWith(int position, QStringView what);
    // The first position at or after from (and before limit) holding c, or -1.
    int indexOf(QChar c, int from, int limit);
    QString mid(int from, int length);

private:
    void load(int position);

    Reader m_reader;
    int m_length = 0;
    int m_start = 0;
    QString m_buffer;
};
