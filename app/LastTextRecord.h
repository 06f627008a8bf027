#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QTextDocument;
class QTimer;

// A copy's own record of its editor's text, kept beside the preview file.
// The preview file is shared by every copy started from one folder (on other
// displays), and the runtime folder is emptied by a logout or a reboot; this
// record is neither, so a copy that ended abnormally (a crash, a kill, a power
// loss) gets its own last text back at its next start, never another copy's.
//
// While a copy runs its record is "<preview file>.<copy>.running"; a normal
// end (the record's destruction) renames it to "<preview file>.<copy>". A
// running record found at the start was left by a copy that did not end
// normally. Its text is never lost: unless this copy's editor gets the same
// text, it is kept aside as "<preview file>.<copy>.crashed-<date>-<time>"
// (the user's alone, like the records), which the program never touches again.
//
// Only a regular file of the user's own is read as a record (a link or a file
// someone else planted is not), and a record is replaced whole, never written
// through a link.
class LastTextRecord : public QObject {
    Q_OBJECT

public:
    // Takes over the record the previous copy left and marks this copy as
    // running. An empty preview file name or copy name keeps no record.
    LastTextRecord(const QString& previewFileName, const QString& copyName);
    ~LastTextRecord() override;

    bool previousCopyEndedAbnormally() const { return m_previousEndedAbnormally; }
    // The previous copy's last text; std::nullopt when it left no record.
    const std::optional<QString>& previousText() const { return m_previousText; }

    // Keeps the document's text from now on, at most once a second while it
    // changes, and a last time at the normal end.
    void follow(QTextDocument* document);

    // The file holding the text of the copy that did not end normally, when
    // this copy's editor did not take that text; empty otherwise. Known once
    // follow() was called.
    const QString& keptAsidePath() const { return m_keptAsidePath; }
    // Whether a text that had to be kept aside could not be: the running
    // record then still holds it and is no longer written.
    bool isKeepingAsideFailed() const { return m_isFrozen; }
    const QString& runningPath() const { return m_runningPath; }

    // The longest time an edit goes unrecorded.
    static constexpr int RecordDelayMs = 1000;

private:
    void record();

    QString m_runningPath;
    QString m_endedPath;
    void keepAsideUnlessTaken();

    bool m_previousEndedAbnormally = false;
    QString m_keptAsidePath;
    // The running record holds the only copy of a text not kept aside.
    bool m_isFrozen = false;
    std::optional<QString> m_previousText;
    QPointer<QTextDocument> m_document;
    QTimer* m_delay = nullptr; // child of this object
};
