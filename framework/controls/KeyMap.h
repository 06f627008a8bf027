#pragma once

#include "controls/ShortCut.h"

class QKeyEvent;

// Translates Qt's keys into the virtual-key codes that shortcuts are stored in.
namespace KeyMap {
// The virtual-key code of a Qt key (with the keypad flag); 0 when unknown.
quint8 VirtualKey(int qtKey, bool isKeypad);
// The virtual-key code of a pressed key: the layout's code for the key with
// that native keycode where the layout knows it, else the Qt key's.
quint8 VirtualKeyOfKey(quint32 keycode, int qtKey, bool isKeypad);
// The shortcut a key press stands for: its key plus Shift, Ctrl and Alt.
TShortCut ShortCutFromKeyEvent(const QKeyEvent* event);
} // namespace KeyMap
