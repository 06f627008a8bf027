#include "app/HistoryFile.h"

#include "platform/FileReplacement.h"
#include "platform/RegularFile.h"
#include "settings/ProfileLock.h"

#include <QFile>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024 * 1024), 'f', 1);
}

// Only the owner may read or write the history, whatever mode a file put
// there by hand had.
void keepPrivate(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & 07777) != 0600)
        ::fchmod(fd, 0600);
    ::close(fd);
}

} // namespace

HistoryFile::HistoryFile(QString fileName)
    : m_fileName(std::move(fileName))
{
}

void HistoryFile::setAside(const QString& why, QString& notice)
{
    const QString aside = m_fileName + QStringLiteral(".") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss-zzz"));
    // The name itself moves, a link as a link: nothing is followed or opened.
    if (std::rename(QFile::encodeName(m_fileName).constData(), QFile::encodeName(aside).constData()) == 0)
        notice = QStringLiteral("The history file %1 %2; it was kept as %3 and a new history started.").arg(m_fileName, why, aside);
    else
        notice = QStringLiteral("The history file %1 %2 and could not be set aside; the history is not kept.").arg(m_fileName, why);
}

QList<HistoryEntry> HistoryFile::load(QString& notice)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(m_fileName).constData(), &status) != 0)
        return {};
    if (!S_ISREG(status.st_mode)) {
        setAside(QStringLiteral("is not a regular file"), notice);
        return {};
    }
    if (status.st_size > HistoryText::MaxFileBytes) {
        setAside(QStringLiteral("is larger (%1 MB) than any history").arg(megabytes(status.st_size)), notice);
        return {};
    }
    const std::optional<QByteArray> bytes = ReadRegularFile(m_fileName, HistoryText::MaxFileBytes);
    if (!bytes) {
        setAside(QStringLiteral("cannot be read"), notice);
        return {};
    }
    HistoryText::Parsed parsed = HistoryText::parse(*bytes);
    switch (parsed.status) {
    case HistoryText::Status::Valid:
        return parsed.entries;
    case HistoryText::Status::Foreign:
        setAside(QStringLiteral("is not a history of this program"), notice);
        break;
    case HistoryText::Status::Damaged:
        setAside(QStringLiteral("is damaged"), notice);
        break;
    case HistoryText::Status::Newer:
        setAside(QStringLiteral("was written by a newer version of the program"), notice);
        break;
    }
    return {};
}

HistoryFile::Outcome HistoryFile::read()
{
    return change({});
}

HistoryFile::Outcome HistoryFile::change(const Change& edit)
{
    Outcome outcome;
    if (m_fileName.isEmpty()) {
        outcome.isSaved = false;
        return outcome;
    }
    ProfileLock lock(m_fileName + QStringLiteral(".lock"), QFile::encodeName(m_fileName));
    if (!lock.tryLock()) {
        outcome.isSaved = false;
        outcome.notice = QStringLiteral("The history file %1 is kept busy by another program; the history was not changed.").arg(m_fileName);
        return outcome;
    }
    outcome.entries = load(outcome.notice);
    if (!edit)
        return outcome;
    QString editNotice;
    edit(outcome.entries, editNotice);
    if (!editNotice.isEmpty())
        outcome.notice = outcome.notice.isEmpty() ? editNotice : outcome.notice + QLatin1Char('\n') + editNotice;
    const QByteArray path = QFile::encodeName(m_fileName);
    outcome.isSaved = FileReplacement::Replace(m_fileName, HistoryText::serialize(outcome.entries), FileReplacement::NewFile::Private)
        == FileReplacement::Result::Replaced;
    if (outcome.isSaved)
        keepPrivate(path);
    else
        outcome.notice += (outcome.notice.isEmpty() ? QString() : QStringLiteral("\n"))
            + QStringLiteral("Unable to write to %1.").arg(m_fileName);
    return outcome;
}

HistoryFile::Outcome HistoryFile::add(const QString& text, const QDateTime& time)
{
    return change([&](QList<HistoryEntry>& entries, QString& notice) {
        if (!HistoryText::add(entries, { time, text }))
            notice = QStringLiteral("The text handed over (%1 MB) is larger than the history keeps (%2 MB); it is on the clipboard but not in the history.")
                         .arg(megabytes(HistoryText::bytesOf(text)), megabytes(HistoryText::MaxTextBytes));
    });
}

HistoryFile::Outcome HistoryFile::remove(const HistoryEntry& entry)
{
    return change([&](QList<HistoryEntry>& entries, QString&) { entries.removeOne(entry); });
}

HistoryFile::Outcome HistoryFile::clear()
{
    return change([](QList<HistoryEntry>& entries, QString&) { entries.clear(); });
}
