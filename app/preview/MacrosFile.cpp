#include "app/preview/MacrosFile.h"

#include "app/preview/PreviewSource.h"
#include "platform/RegularFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <sys/stat.h>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("MacrosFile", text);
}

qint64 nanoseconds(const timespec& time)
{
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

} // namespace

MacrosFile::MacrosFile(QString path)
    : m_path(std::move(path))
{
}

MacrosFile::Status MacrosFile::statusOf(const QString& path)
{
    Status status;
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return status;
    status.exists = true;
    status.mode = info.st_mode;
    status.device = info.st_dev;
    status.inode = info.st_ino;
    status.size = info.st_size;
    status.modifiedNs = nanoseconds(info.st_mtim);
    status.changedNs = nanoseconds(info.st_ctim);
    return status;
}

bool MacrosFile::refresh()
{
    const Status status = statusOf(m_path);
    if (status == m_status)
        return false;
    m_status = status;
    read(status);
    return true;
}

// Only a regular file of a bounded size is read; a folder, a FIFO or a
// device is never opened, and the read itself refuses any file that is not
// regular by the time it is opened, so it never waits.
void MacrosFile::read(const Status& status)
{
    m_text.clear();
    m_notice.clear();
    if (!status.exists)
        return;
    const QString shownPath = QDir::toNativeSeparators(m_path);
    if (S_ISDIR(status.mode)) {
        m_notice = tr("The macros file %1 is a folder; no definitions are read from it.").arg(shownPath);
        return;
    }
    if (!S_ISREG(status.mode)) {
        m_notice = tr("The macros file %1 is not a regular file; no definitions are read from it.").arg(shownPath);
        return;
    }
    if (status.size > MaxBytes) {
        m_notice = tr("The macros file %1 is larger than %2 KiB; no definitions are read from it.")
                       .arg(shownPath)
                       .arg(MaxBytes / 1024);
        return;
    }
    const std::optional<QByteArray> bytes = ReadRegularFile(m_path, MaxBytes);
    if (!bytes) {
        m_notice = tr("The macros file %1 cannot be read; no definitions are read from it.").arg(shownPath);
        return;
    }
    if (bytes->contains('\0')) {
        m_notice = tr("The macros file %1 holds binary data, not definitions; none are read from it.").arg(shownPath);
        return;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    m_text = decoder.decode(*bytes);
    PreviewSource::toLineFeeds(m_text);
}

QString MacrosFile::script() const
{
    QString script = QStringLiteral("preview.useMacros(");
    PreviewSource::appendLiteral(script, m_text);
    script += u',';
    PreviewSource::appendLiteral(script, m_path.section(QLatin1Char('/'), -1));
    script += u',';
    PreviewSource::appendLiteral(script, m_notice);
    script += u')';
    return script;
}
