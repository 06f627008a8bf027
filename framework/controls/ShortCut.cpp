#include "controls/ShortCut.h"

#include "platform/CurrentKeyboardLayout.h"
#include "core/StringTable.h"

#include <utility>

namespace {

QString namedKey(quint8 key)
{
    using namespace StringTable;
    static const std::pair<quint8, int> names[] = {
        { 8, SmkcBkSp }, { 9, SmkcTab }, { 13, SmkcEnter }, { 27, SmkcEsc }, { 32, SmkcSpace },
        { 33, SmkcPgUp }, { 34, SmkcPgDn }, { 35, SmkcEnd }, { 36, SmkcHome }, { 37, SmkcLeft },
        { 38, SmkcUp }, { 39, SmkcRight }, { 40, SmkcDown }, { 45, SmkcIns }, { 46, SmkcDel },
    };
    for (const auto& [code, id] : names) {
        if (code == key)
            return LoadStr(id);
    }
    return {};
}

QString keyName(quint8 key)
{
    if (QString name = namedKey(key); !name.isEmpty())
        return name;
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z'))
        return QString(QChar(key));
    if (key >= 96 && key <= 105)
        return QString(QChar('0' + key - 96));
    if (key >= 112 && key <= 135)
        return u'F' + QString::number(key - 111);
    return ShortCuts::LayoutKeyName(key);
}

} // namespace

namespace ShortCuts {

// The names the keyboard layout in use gives its punctuation keys; a US
// layout's where the layout cannot be read.
QString LayoutKeyName(quint8 virtualKey)
{
    const CurrentKeyboardLayout* current = CurrentKeyboardLayout::Instance();
    if (const KeyboardLayout* layout = current ? current->Layout() : nullptr)
        return layout->KeyName(virtualKey);
    static const std::pair<quint8, char> names[] = {
        { 0xBA, ';' }, { 0xBB, '=' }, { 0xBC, ',' }, { 0xBD, '-' }, { 0xBE, '.' }, { 0xBF, '/' },
        { 0xC0, '`' }, { 0xDB, '[' }, { 0xDC, '\\' }, { 0xDD, ']' }, { 0xDE, '\'' },
    };
    for (const auto& [code, name] : names) {
        if (code == virtualKey)
            return QString(QChar(name));
    }
    return {};
}

QString ShortCutToText(TShortCut shortCut)
{
    const QString name = keyName(quint8(shortCut & 0xFF));
    if (name.isEmpty())
        return {};
    QString text;
    if (shortCut & scShift)
        text += StringTable::LoadStr(StringTable::SmkcShift);
    if (shortCut & scCtrl)
        text += StringTable::LoadStr(StringTable::SmkcCtrl);
    if (shortCut & scAlt)
        text += StringTable::LoadStr(StringTable::SmkcAlt);
    return text + name;
}

} // namespace ShortCuts
