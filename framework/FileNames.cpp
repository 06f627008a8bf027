#include "FileNames.h"

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
