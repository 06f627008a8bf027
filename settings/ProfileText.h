#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

// The text of a profile ("INI") file held as its lines, with the rules the
// settings rely on: section and key names match without regard to case, a
// value is replaced in place, a new key goes to the end of its section and a
// new section to the end of the text. Lines are kept as their bytes, so lines
// this class never touches (comments, garbage, invalid UTF-8) are written back
// exactly as they were read, each with its own line end. The text stays one
// byte buffer with an index of its lines, so that a large file costs one scan.
class ProfileText {
public:
    // The longest value a read returns, as a 1024-character buffer allows.
    static constexpr int MaxValueLength = 1023;

    static ProfileText parse(const QByteArray& bytes);
    QByteArray serialize() const;

    // The value as stored (blanks around it removed), or none when the section
    // or key is missing. Only the first section of a name is looked at.
    std::optional<QString> rawValue(const QString& section, const QString& key) const;
    // What a read returns: one enclosing pair of quotes dropped, then cut.
    static QString readBack(const QString& rawValue);

    // False when the names or the value cannot be written as one line.
    bool setValue(const QString& section, const QString& key, const QString& value);
    // Removes every section of this name with all its lines.
    void removeSection(const QString& section);

    static bool isValidSectionName(const QString& section);
    static bool isValidKeyName(const QString& key);
    static bool isValidValue(const QString& value);

private:
    struct Line {
        qsizetype start;
        qsizetype length;
        qsizetype endLength; // 2 for CR LF, 1 for LF or CR, 0 for a last line without one
    };

    QByteArrayView textOf(const Line& line) const { return QByteArrayView(m_bytes).sliced(line.start, line.length); }
    std::optional<QString> sectionNameOf(const Line& line) const;
    std::optional<QString> keyNameOf(const Line& line) const;
    void index();
    // Appends the index of the lines in bytes from..to.
    void indexRange(qsizetype from, qsizetype to, std::vector<Line>& lines) const;
    // Replaces lines first..last (with their line ends) by bytes made of whole
    // lines, and indexes only those.
    void replaceLines(qsizetype first, qsizetype last, const QByteArray& bytes);
    // Index of the first header line of the section, or -1.
    qsizetype findSection(const QString& section) const;
    // One past the section's last line (the next header or the end).
    qsizetype sectionEnd(qsizetype header) const;
    qsizetype findKey(qsizetype header, const QString& key) const;
    void insertLine(qsizetype index, const QByteArray& text);

    QByteArray m_bytes;
    QByteArray m_lineEnd = "\r\n";
    std::vector<Line> m_lines;
};
