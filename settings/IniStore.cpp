#include "settings/IniStore.h"

#include "platform/FileNames.h"
#include "application/TApplication.h"
#include "settings/TCustomIniFile.h"
#include "settings/TIniFile.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace IniStore {

QString QuotedForFile(const QString& text)
{
    if (text.isEmpty())
        return text;
    const QChar first = text.front();
    if ((first == u'"' || first == u'\'') && text.back() == first)
        return u'"' + text + u'"';
    return text;
}

QString ReadString(TCustomIniFile* store, const QString& section, const QString& key, const QString& defaultValue)
{
    return store ? store->ReadString(section, key, defaultValue) : defaultValue;
}

void WriteString(TCustomIniFile* store, const QString& section, const QString& key, const QString& value)
{
    if (!store)
        return;
    // The store over the user's configuration keeps quotes as they are.
    store->WriteString(section, key, dynamic_cast<TIniFile*>(store) ? QuotedForFile(value) : value);
}

int ReadInteger(TCustomIniFile* store, const QString& section, const QString& key, int defaultValue)
{
    return store ? store->ReadInteger(section, key, defaultValue) : defaultValue;
}

void WriteInteger(TCustomIniFile* store, const QString& section, const QString& key, int value)
{
    if (store)
        store->WriteInteger(section, key, value);
}

QString DefaultSection(const QObject* component)
{
    if (!component)
        return {};
    if (qobject_cast<const TForm*>(component))
        return QString::fromLatin1(component->metaObject()->className());
    if (const auto* control = qobject_cast<const QWidget*>(component)) {
        const auto* form = qobject_cast<const TForm*>(control->window());
        if (form && form != control)
            return QString::fromLatin1(form->metaObject()->className()) + control->objectName();
        if (control->parentWidget())
            return control->parentWidget()->objectName() + control->objectName();
        return control->objectName();
    }
    if (const auto* form = qobject_cast<const TForm*>(component->parent()))
        return QStringLiteral("%1.%2").arg(QString::fromLatin1(form->metaObject()->className()), component->objectName());
    return component->objectName();
}

// An executable path without a name (not valid UTF-8) gives no settings file,
// rather than one in the current folder.
QString DefaultIniFileName()
{
    const QString exeName = Application ? Application->ExeName() : QString();
    return exeName.isEmpty() ? QString() : FileNames::ChangeFileExt(exeName, QStringLiteral(".INI"));
}

QString DefaultRegistryKey()
{
    const QString name = FileNames::ExtractFileName(Application ? Application->ExeName() : QString());
    return QStringLiteral("Software\\") + FileNames::ChangeFileExt(name, QString());
}

QString ScreenSuffix()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize size = screen ? screen->size() * screen->devicePixelRatio() : QSize();
    return QStringLiteral("(%1x%2)").arg(size.width()).arg(size.height());
}

QString ReadPosStr(TCustomIniFile* store, const QString& section, const QString& name)
{
    const QString value = ReadString(store, section, name + ScreenSuffix(), QString());
    return value.isEmpty() ? ReadString(store, section, name, QString()) : value;
}

void WritePosStr(TCustomIniFile* store, const QString& section, const QString& name, const QString& value)
{
    WriteString(store, section, name + ScreenSuffix(), value);
    WriteString(store, section, name, value);
}

} // namespace IniStore
