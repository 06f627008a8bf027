#pragma once

#include <QString>

#include <optional>

// The text rules of the settings: how numbers are read from a value and how
// names and values are trimmed. Used by the stores and by everything that
// reads them, so it depends on nothing of either.
namespace IniStore {

// "0x"/"0X" at the start of a text longer than two characters counts as "$";
// then leading blanks, and a signed decimal or "$", "x", "X", "0x", "0X" with up
// to eight hexadecimal digits taken as a 32-bit pattern.
std::optional<qint32> StrToInt(const QString& text);
int StrToIntDef(const QString& text, int defaultValue);
// The same for unsigned values: decimal text up to 4294967295 converts too.
std::optional<quint32> StrToUInt(const QString& text);

// The text without the blanks and control characters at both ends.
QString Trim(const QString& text);

} // namespace IniStore
