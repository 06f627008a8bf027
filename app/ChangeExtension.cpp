#include "ChangeExtension.h"

#include "FileNames.h"

QString ChangeExtension(const QString& path, const QString& extension)
{
    const QString folder = FileNames::ExtractFilePath(path);
    const QString name = FileNames::ExtractFileName(path);
    const QString oldExtension = FileNames::ExtractFileExt(path);
    const QString stem = name.left(name.size() - oldExtension.size());
    return folder + stem + extension;
}
