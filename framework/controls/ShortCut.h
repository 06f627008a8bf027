#pragma once

#include <QString>

// A shortcut key: the low 8 bits are the virtual-key code; 0x2000 adds Shift,
// 0x4000 Ctrl and 0x8000 Alt. 0 means none.
using TShortCut = quint16;

namespace ShortCuts {
inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;
inline constexpr TShortCut scNone = 0;

// Virtual-key codes of the keys the program binds. A digit or letter key's
// code is its character ('1', 'A').
inline constexpr TShortCut VK_ESCAPE = 0x1B;
inline constexpr TShortCut VK_INSERT = 0x2D;
inline constexpr TShortCut VK_DELETE = 0x2E;
// The US layout's "/?" key.
inline constexpr TShortCut VK_OEM_2 = 0xBF;

// The text shown beside a menu entry ("Ctrl+Ins", "Shift+Ctrl+A"); empty when
// the key has no name of one character or a known one.
QString ShortCutToText(TShortCut shortCut);

// The keyboard layout's one-character name of a punctuation key; empty when
// there is none.
QString LayoutKeyName(quint8 virtualKey);
} // namespace ShortCuts
