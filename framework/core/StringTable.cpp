#include "core/StringTable.h"

#include <array>

namespace StringTable {

QString LoadStr(int id)
{
    static const std::array<const char16_t*, 18> keyNames = {
        u"BkSp", u"Tab", u"Esc", u"Enter", u"Space", u"PgUp", u"PgDn", u"End", u"Home",
        u"Left", u"Up", u"Right", u"Down", u"Ins", u"Del", u"Shift+", u"Ctrl+", u"Alt+",
    };
    const int index = id - SmkcBkSp;
    if (index < 0 || index >= int(keyNames.size()))
        return {};
    return QString::fromUtf16(keyNames[index]);
}

} // namespace StringTable
