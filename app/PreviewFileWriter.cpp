#include "app/PreviewFileWriter.h"

#include "controls/TMemoStrings.h"
#include "core/Exception.h"
#include "core/ExceptionBoundary.h"
#include "platform/FileReplacement.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThreadPool>

#include <atomic>

// What the writer and its workers share; it lives as long as the last of them.
struct PreviewFileWriter::Shared {
    // The serial number of the latest write asked for.
    std::atomic<quint64> latest { 0 };
    // Held through a replacement and its reading back.
    QMutex replacing;
    // Guards receiver, which the writer clears as it goes.
    QMutex receiving;
    PreviewFileWriter* receiver = nullptr;
};

struct PreviewFileWriter::Outcome {
    enum class Kind { Written, Refused, WriteFailed, Superseded } kind = Kind::Superseded;
    PreviewSource source;
    // What the editor's save throws for a failure.
    QString message;
};

PreviewFileWriter::PreviewFileWriter(QObject* parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->receiver = this;
}

// Only the hand-back is cut off: a worker holds the receiving lock just for
// posting its result, never while it writes.
PreviewFileWriter::~PreviewFileWriter()
{
    const QMutexLocker lock(&m_shared->receiving);
    m_shared->receiver = nullptr;
}

PreviewFileWriter::Outcome PreviewFileWriter::replace(
    Shared& shared, quint64 serial, const QString& fileName, const QString& rawText)
{
    const QMutexLocker lock(&shared.replacing);
    Outcome outcome;
    if (serial != shared.latest.load())
        return outcome;
    const QByteArray bytes = TMemoStrings::WithCrLf(rawText).toUtf8();
    switch (FileReplacement::Replace(fileName, bytes, FileReplacement::NewFile::Private)) {
    case FileReplacement::Result::Replaced:
        outcome.kind = Outcome::Kind::Written;
        // Read while no later write can replace the file, so the reading
        // is of this text.
        outcome.source = PreviewSource::read(fileName);
        break;
    case FileReplacement::Result::Refused:
        outcome.kind = Outcome::Kind::Refused;
        outcome.message = QStringLiteral("Cannot create file %1").arg(fileName);
        break;
    case FileReplacement::Result::WriteFailed:
        outcome.kind = Outcome::Kind::WriteFailed;
        outcome.message = QStringLiteral("Stream write error");
        break;
    }
    return outcome;
}

void PreviewFileWriter::writeNow(const QString& fileName, const QString& rawText)
{
    const quint64 serial = ++m_shared->latest;
    const Outcome outcome = replace(*m_shared, serial, fileName, rawText);
    if (outcome.kind == Outcome::Kind::Refused)
        throw EFCreateError(outcome.message);
    if (outcome.kind == Outcome::Kind::WriteFailed)
        throw EWriteError(outcome.message);
}

void PreviewFileWriter::writeLater(const QString& fileName, const QString& rawText)
{
    const quint64 serial = ++m_shared->latest;
    ++m_workersRunning;
    QThreadPool::globalInstance()->start([shared = m_shared, serial, fileName, rawText] {
        Outcome outcome;
        try {
            outcome = replace(*shared, serial, fileName, rawText);
        } catch (...) {
            // Out of memory for the bytes: as a write that failed.
            outcome.kind = Outcome::Kind::WriteFailed;
            outcome.message = QStringLiteral("Stream write error");
        }
        const QMutexLocker lock(&shared->receiving);
        if (PreviewFileWriter* receiver = shared->receiver) {
            QMetaObject::invokeMethod(
                receiver, [receiver, serial, outcome] { receiver->onWorkerDone(serial, outcome); }, Qt::QueuedConnection);
        }
    });
}

void PreviewFileWriter::onWorkerDone(quint64 serial, const Outcome& outcome)
{
    --m_workersRunning;
    if (serial != m_shared->latest.load())
        return;
    guarded(this, [&] {
        switch (outcome.kind) {
        case Outcome::Kind::Written:
            emit written(outcome.source);
            break;
        case Outcome::Kind::Refused:
        case Outcome::Kind::WriteFailed:
            emit failed(outcome.message);
            break;
        case Outcome::Kind::Superseded:
            break;
        }
    });
}
