#include "app/LastTextRecord.h"

#include "app/EditorText.h"
#include "core/ExceptionBoundary.h"

#include "platform/RegularFile.h"

#include <QDateTime>
#include <QFile>
#include <QTextDocument>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <sys/stat.h>

namespace {

// The record is read only as a regular file of the user's own of a sane size:
// it holds text the editor had, and nothing else found under its name is
// taken for it.
constexpr qint64 LongestRecord = 256 * 1024 * 1024;

std::optional<QString> readRecord(const QString& path)
{
    const std::optional<QByteArray> bytes = ReadOwnRegularFile(path, LongestRecord);
    return bytes ? std::optional(QString::fromUtf8(*bytes)) : std::nullopt;
}

// Replaces the record whole, so a kill or a full disk leaves the old text or
// the new one, never a mix; the text is the user's, so only they may read it.
bool writeRecord(const QString& path, const QString& text)
{
    return ReplacePrivately(path, text.toUtf8());
}

// Renames over an existing file in one step.
void moveOver(const QString& from, const QString& to)
{
    std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData());
}

// A name for a kept-aside text that no file has yet: the time of the start,
// and a number when two starts share a second.
QString freeKeptAsideName(const QString& endedPath)
{
    const QString stem = endedPath + QStringLiteral(".crashed-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = stem;
    struct stat status {};
    for (int n = 2; ::lstat(QFile::encodeName(name).constData(), &status) == 0; ++n)
        name = stem + u'-' + QString::number(n);
    return name;
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
    // A running record that still holds a crashed copy's only text stays
    // running, so the next start finds it again.
    if (m_runningPath.isEmpty() || m_isFrozen)
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
    keepAsideUnlessTaken();
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

// The text of a copy that did not end normally goes aside before this copy's
// text is recorded over it, unless the editor holds that very text.
void LastTextRecord::keepAsideUnlessTaken()
{
    if (!m_previousEndedAbnormally || !m_previousText || m_previousText->isEmpty()
        || EditorText::of(*m_document) == *m_previousText)
        return;
    const QString path = freeKeptAsideName(m_endedPath);
    if (writeRecord(path, *m_previousText))
        m_keptAsidePath = path;
    else
        m_isFrozen = true;
}

void LastTextRecord::record()
{
    if (m_delay)
        m_delay->stop();
    if (m_document && !m_isFrozen)
        writeRecord(m_runningPath, EditorText::of(*m_document));
}
