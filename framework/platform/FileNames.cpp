#include "platform/FileNames.h"

#include <QFile>

#include <climits>
#include <unistd.h>

namespace {

bool isPathDelimiter(QChar c)
{
    return c == u'/' || c == u'\\' || c == u':';
}

// Index one past the last path delimiter, 0 when there is none.
qsizetype nameStart(const QString& fileName)
{
    for (qsizetype i = fileName.size(); i > 0; --i) {
        if (isPathDelimiter(fileName[i - 1]))
            return i;
    }
    return 0;
}

// Index of the extension's dot, or -1 when the name part has no dot.
qsizetype extensionStart(const QString& fileName)
{
    const qsizetype start = nameStart(fileName);
    for (qsizetype i = fileName.size(); i > start; --i) {
        if (fileName[i - 1] == u'.')
            return i - 1;
    }
    return -1;
}

} // namespace

namespace FileNames {

QString ExtractFilePath(const QString& fileName)
{
    return fileName.left(nameStart(fileName));
}

QString ExtractFileName(const QString& fileName)
{
    return fileName.mid(nameStart(fileName));
}

QString ExtractFileExt(const QString& fileName)
{
    const qsizetype dot = extensionStart(fileName);
    return dot < 0 ? QString() : fileName.mid(dot);
}

QString ChangeFileExt(const QString& fileName, const QString& extension)
{
    const qsizetype dot = extensionStart(fileName);
    return (dot < 0 ? fileName : fileName.left(dot)) + extension;
}

} // namespace FileNames

namespace {

QByteArray linkBytes(const QByteArray& link)
{
    QByteArray target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(link.constData(), target.data(), size_t(target.size()));
    if (length <= 0 || length >= target.size())
        return {};
    target.truncate(length);
    return target;
}

} // namespace

QString FileNames::LinkTarget(const QByteArray& link)
{
    const QByteArray target = linkBytes(link);
    // A name is usable only when it leads back to exactly these bytes.
    const QString name = QFile::decodeName(target);
    return QFile::encodeName(name) == target ? name : QString();
}

QString FileNames::ShownLinkTarget(const QByteArray& link)
{
    return QString::fromUtf8(linkBytes(link));
}
