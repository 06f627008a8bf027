#include "settings/TCustomIniFile.h"

#include "settings/IniText.h"

int TCustomIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue)
{
    return IniStore::StrToIntDef(ReadString(section, key, QString()), defaultValue);
}

void TCustomIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TCustomIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
