#pragma once

#include "settings/IniText.h"

#include <QString>

#include <optional>

class QObject;
class TCustomIniFile;

// What the placement and the stored properties use to reach a settings store:
// the conversions of values, the naming rules and the dispatch between the
// settings file and the store over the user's configuration. A missing store
// reads defaults and writes nothing.
namespace IniStore {

// Text whose first and last characters are both the same quote gets one more
// pair of double quotes, so that it survives the read that drops a pair.
QString QuotedForFile(const QString& text);

QString ReadString(TCustomIniFile* store, const QString& section, const QString& key, const QString& defaultValue);
void WriteString(TCustomIniFile* store, const QString& section, const QString& key, const QString& value);
int ReadInteger(TCustomIniFile* store, const QString& section, const QString& key, int defaultValue);
void WriteInteger(TCustomIniFile* store, const QString& section, const QString& key, int value);

// The section of a component with no section of its own: a form's class name,
// a control's name after its form's class name, another component's name
// after "<form class>." when a form owns it.
QString DefaultSection(const QObject* component);
// The executable's path with ".INI" for its extension.
QString DefaultIniFileName();
// "Software\<executable name>" for the store over the user's configuration.
QString DefaultRegistryKey();

// "(<width>x<height>)" of the primary screen in pixels.
QString ScreenSuffix();
// The value under name + screen suffix, or else under name alone.
QString ReadPosStr(TCustomIniFile* store, const QString& section, const QString& name);
// Writes under name + screen suffix, then under name alone.
void WritePosStr(TCustomIniFile* store, const QString& section, const QString& name, const QString& value);

} // namespace IniStore
