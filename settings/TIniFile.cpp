#include "TIniFile.h"

#include "Exception.h"
#include "ProfileFile.h"

namespace {

[[noreturn]] void raiseWriteFailure(const QString& fileName)
{
    throw Exception(QStringLiteral("Unable to write to %1").arg(fileName));
}

} // namespace

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue)
{
    return ProfileFile::ReadString(FileName(), section, key, defaultValue);
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    if (!ProfileFile::WriteString(FileName(), section, key, value))
        raiseWriteFailure(FileName());
}

void TIniFile::EraseSection(const QString& section)
{
    if (!ProfileFile::EraseSection(FileName(), section))
        raiseWriteFailure(FileName());
}
