#pragma once

#include "app/HistoryText.h"

#include <QList>
#include <QString>

#include <functional>

// The history file beside the settings file, readable and writable by its
// owner alone. Every change takes the file's lock, reads it anew, changes it
// and replaces it whole (see FileReplacement), so copies on other displays
// that hand over at the same moment keep each other's entries and a reader
// never finds half a file.
//
// A link, a FIFO, a device or a folder in the file's place is never followed
// or opened, nor is a file larger than any history; such a thing, a file that
// is not a history (binary data, another program's), a damaged one and one
// written by a later version are set aside under a name of their own and a
// new history is started. Each of these says so in a notice.
class HistoryFile {
public:
    // An empty name keeps no history on disk.
    explicit HistoryFile(QString fileName);

    struct Outcome {
        QList<HistoryEntry> entries; // the history as it now is, newest first
        bool isSaved = true;
        QString notice; // empty when all went as asked
    };

    // The history as the file holds it.
    Outcome read();
    Outcome add(const QString& text, const QDateTime& time);
    Outcome remove(const HistoryEntry& entry);
    Outcome clear();

    QString fileName() const { return m_fileName; }

private:
    using Change = std::function<void(QList<HistoryEntry>&, QString& notice)>;
    Outcome change(const Change& edit);
    // The entries the file holds; a file that is none is set aside.
    QList<HistoryEntry> load(QString& notice);
    void setAside(const QString& why, QString& notice);

    QString m_fileName;
};
