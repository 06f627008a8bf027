#pragma once

#include <QString>

// The program's numbered strings: the key names and modifier prefixes shown
// beside menu entries. They are looked up by number so that a translated
// table changes every text shown.
namespace StringTable {
enum Id : int {
    SmkcBkSp = 61575,
    SmkcTab,
    SmkcEsc,
    SmkcEnter,
    SmkcSpace,
    SmkcPgUp,
    SmkcPgDn,
    SmkcEnd,
    SmkcHome,
    SmkcLeft,
    SmkcUp,
    SmkcRight,
    SmkcDown,
    SmkcIns,
    SmkcDel,
    SmkcShift,
    SmkcCtrl,
    SmkcAlt,
};

// The string with that number; empty for a number the table lacks.
QString LoadStr(int id);
} // namespace StringTable
