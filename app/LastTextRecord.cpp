#include "app/LastTextRecord.h"

#include "app/EditorText.h"
#include "core/ExceptionBoundary.h"

#include <QFile>
#include <QSaveFile>
#include <QTextDocument>
#include <QTimer>

#include <cstdio>
#include <sys/stat.h>

namespace {

// The record is read only as a regular file of a sane size: it holds text the
// editor had, and nothing else found under its name is taken for it.
constexpr qint64 LongestRecord = 256 * 1024 * 1024;

std::optional<QString> readRecord(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::ExistingOnly) || file.isSequential()
        || file.size() > LongestRecord)
        return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

// Replaces the record whole, so a kill or a full disk leaves the old text or
// the new one, never a mix; the text is the user's, so only they may read it.
bool writeRecord(const QString& path, const QString& text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    ::fchmod(file.handle(), S_IRUSR | S_IWUSR);
    file.write(text.toUtf8());
    return file.commit();
}

// Renames over an existing file in one step.
void moveOver(const QString& from, const QString& to)
{
    std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData());
}

} // namespace

LastTextRecord::LastTextRecord(const QString& previewFileName, const QString& copyName)
{
    if (previewFileName.isEmpty() || copyName.isEmpty())
        return;
    m_endedPath = previewFileName + u'.' + copyName;
    m_runningPath = m_endedPath + QStringLiteral(".running");
    if ((m_previousText = readRecord(m_runningPath))) {
        m_previousEndedAbnormally = true;
    } else if ((m_previousText = readRecord(m_endedPath))) {
        // The ended record becomes this copy's running one, the mark that it runs.
        moveOver(m_endedPath, m_runningPath);
    }
    if (!m_previousText)
        writeRecord(m_runningPath, QString());
}

LastTextRecord::~LastTextRecord()
{
    if (m_runningPath.isEmpty())
        return;
    // The text has reached the clipboard by now; a record that cannot be
    // written keeps the one of the last second.
    try {
        record();
    } catch (...) {
    }
    moveOver(m_runningPath, m_endedPath);
}

void LastTextRecord::follow(QTextDocument* document)
{
    if (m_runningPath.isEmpty() || !document)
        return;
    m_document = document;
    m_delay = new QTimer(this);
    m_delay->setSingleShot(true);
    m_delay->setInterval(RecordDelayMs);
    connect(m_delay, &QTimer::timeout, this, [this] { guarded(this, [this] { record(); }); });
    // The delay is not restarted by later edits, so steady typing is still
    // recorded every second. Only a change of the text counts: the document
    // also says its contents changed when a cursor was merely placed.
    connect(document, &QTextDocument::contentsChanged, m_delay, [this, revision = document->revision()]() mutable {
        const int now = m_document->revision();
        const bool isEdited = now != revision;
        revision = now;
        if (isEdited && !m_delay->isActive())
            m_delay->start();
    });
    record();
}

void LastTextRecord::record()
{
    if (m_delay)
        m_delay->stop();
    if (m_document)
        writeRecord(m_runningPath, EditorText::of(*m_document));
}
