#pragma once

#include "app/preview/PreviewSource.h"

#include <QObject>
#include <QString>

#include <memory>

// Replaces the preview file with the editor's text and reads it back as the
// page gets it. A long text is written by a worker of the global thread pool,
// so the interface thread only hands it over (the string is shared, not
// copied); the result comes back as a queued call.
//
// Writes happen in the order they were asked for: each has a serial number,
// one replacement runs at a time, and a write that a later one has
// superseded before it started is dropped. Only the latest write reports,
// so the file ends with the last text and no earlier result overtakes a
// later one. Once the writer is destroyed nothing reports; a worker already
// writing finishes its file and drops its result.
class PreviewFileWriter : public QObject {
    Q_OBJECT

public:
    explicit PreviewFileWriter(QObject* parent = nullptr);
    ~PreviewFileWriter() override;

    // Writes the text (line breaks as the editor keeps them; the file gets
    // CR LF) now, after the replacement in progress if any, which it
    // supersedes. Throws EFCreateError or EWriteError as the editor's save
    // does.
    void writeNow(const QString& fileName, const QString& rawText);
    // Hands the text to a worker; written() or failed() follows unless a
    // later write supersedes it.
    void writeLater(const QString& fileName, const QString& rawText);
    // Whether a write handed to a worker has not yet reported or been dropped.
    bool isWriting() const { return m_workersRunning > 0; }

signals:
    // The file holds the text; its reading as the page gets it.
    void written(const PreviewSource& source);
    // The file could not be replaced and is as it was; what the save would
    // have thrown.
    void failed(const QString& message);

private:
    struct Shared;
    struct Outcome;

    static Outcome replace(Shared& shared, quint64 serial, const QString& fileName, const QString& rawText);
    void onWorkerDone(quint64 serial, const Outcome& outcome);

    std::shared_ptr<Shared> m_shared;
    int m_workersRunning = 0;
};
