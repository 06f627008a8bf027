#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// A text handed over and when.
struct HistoryEntry {
    QDateTime time;
    QString text;
    bool operator==(const HistoryEntry& other) const { return time == other.time && text == other.text; }
};

// The history's entries, newest first, and their form in the history file:
// a first line naming the file and its version, then for each entry a line
// with its time (UTC, ISO 8601 with milliseconds) and the byte count of its
// text, the text in UTF-8 and a line break. Counting bytes keeps any text
// whole, line breaks and all.
class HistoryText {
public:
    // The history keeps the last 500 texts, or fewer when their texts come
    // to more than 20 MB together.
    static constexpr int MaxEntries = 500;
    static constexpr qint64 MaxTextBytes = 20 * 1024 * 1024;
    // Beyond this no file is a history of ours (the texts and every entry's
    // line); it is not read at all.
    static constexpr qint64 MaxFileBytes = MaxTextBytes + MaxEntries * 64 + 64;
    static constexpr int Version = 1;

    enum class Status {
        Valid,
        Foreign, // not a history file at all (another program's, binary data)
        Damaged, // ours, but cut short or altered
        Newer, // written by a later version of the program
    };
    struct Parsed {
        Status status = Status::Valid;
        QList<HistoryEntry> entries;
    };
    // An empty file is a valid empty history.
    static Parsed parse(const QByteArray& bytes);
    static QByteArray serialize(const QList<HistoryEntry>& entries);

    // Puts the entry first. A text equal to the newest one only renews its
    // time; the oldest entries go beyond the bounds. False, and nothing
    // changed, for a text larger than the history keeps at all.
    static bool add(QList<HistoryEntry>& entries, const HistoryEntry& entry);
    static qint64 bytesOf(const QString& text) { return text.toUtf8().size(); }
};
