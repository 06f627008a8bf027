#include "settings/TRegIniFile.h"

#include "core/Exception.h"

#include <QSettings>

TRegIniFile::TRegIniFile(const QString& keyPath)
    : TCustomIniFile(keyPath)
    , m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
          QStringLiteral("Tamsel"), QStringLiteral("store")))
{
}

TRegIniFile::~TRegIniFile() = default;

QString TRegIniFile::groupOf(const QString& section) const
{
    QString path = FileName() + u'\\' + section;
    return path.replace(u'\\', u'/');
}

QString TRegIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue)
{
    return m_settings->value(groupOf(section) + u'/' + key, defaultValue).toString();
}

void TRegIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    m_settings->setValue(groupOf(section) + u'/' + key, value);
    sync();
}

void TRegIniFile::EraseSection(const QString& section)
{
    m_settings->remove(groupOf(section));
    sync();
}

void TRegIniFile::sync()
{
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        throw Exception(QStringLiteral("Unable to write to %1").arg(FileName()));
}
