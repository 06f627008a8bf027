#include "controls/KeyMap.h"

#include "platform/CurrentKeyboardLayout.h"

#include <QKeyEvent>

#include <utility>

namespace {

quint8 keypadKey(int qtKey)
{
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return quint8(96 + qtKey - Qt::Key_0);
    switch (qtKey) {
    case Qt::Key_Asterisk:
        return 0x6A;
    case Qt::Key_Plus:
        return 0x6B;
    case Qt::Key_Minus:
        return 0x6D;
    case Qt::Key_Period:
        return 0x6E;
    case Qt::Key_Slash:
        return 0x6F;
    default:
        return 0;
    }
}

// Keys whose code is the same on every layout, and the punctuation keys of a
// US layout, shifted or not.
quint8 mainKey(int qtKey)
{
    static const std::pair<int, quint8> keys[] = {
        { Qt::Key_Backspace, 8 }, { Qt::Key_Tab, 9 }, { Qt::Key_Backtab, 9 }, { Qt::Key_Return, 13 },
        { Qt::Key_Enter, 13 }, { Qt::Key_Shift, 0x10 }, { Qt::Key_Control, 0x11 }, { Qt::Key_Alt, 0x12 },
        { Qt::Key_Pause, 0x13 }, { Qt::Key_CapsLock, 0x14 }, { Qt::Key_Escape, 27 }, { Qt::Key_Space, 32 },
        { Qt::Key_PageUp, 33 }, { Qt::Key_PageDown, 34 }, { Qt::Key_End, 35 }, { Qt::Key_Home, 36 },
        { Qt::Key_Left, 37 }, { Qt::Key_Up, 38 }, { Qt::Key_Right, 39 }, { Qt::Key_Down, 40 },
        { Qt::Key_Print, 0x2C }, { Qt::Key_Insert, 45 }, { Qt::Key_Delete, 46 },
        { Qt::Key_Semicolon, 0xBA }, { Qt::Key_Colon, 0xBA }, { Qt::Key_Equal, 0xBB }, { Qt::Key_Plus, 0xBB },
        { Qt::Key_Comma, 0xBC }, { Qt::Key_Less, 0xBC }, { Qt::Key_Minus, 0xBD }, { Qt::Key_Underscore, 0xBD },
        { Qt::Key_Period, 0xBE }, { Qt::Key_Greater, 0xBE }, { Qt::Key_Slash, 0xBF }, { Qt::Key_Question, 0xBF },
        { Qt::Key_QuoteLeft, 0xC0 }, { Qt::Key_AsciiTilde, 0xC0 }, { Qt::Key_BracketLeft, 0xDB },
        { Qt::Key_BraceLeft, 0xDB }, { Qt::Key_Backslash, 0xDC }, { Qt::Key_Bar, 0xDC },
        { Qt::Key_BracketRight, 0xDD }, { Qt::Key_BraceRight, 0xDD }, { Qt::Key_Apostrophe, 0xDE },
        { Qt::Key_QuoteDbl, 0xDE },
        // Shifted digits of a US layout stand for their digit key.
        { Qt::Key_Exclam, '1' }, { Qt::Key_At, '2' }, { Qt::Key_NumberSign, '3' }, { Qt::Key_Dollar, '4' },
        { Qt::Key_Percent, '5' }, { Qt::Key_AsciiCircum, '6' }, { Qt::Key_Ampersand, '7' },
        { Qt::Key_Asterisk, '8' }, { Qt::Key_ParenLeft, '9' }, { Qt::Key_ParenRight, '0' },
    };
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return quint8(qtKey);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return quint8(112 + qtKey - Qt::Key_F1);
    for (const auto& [key, code] : keys) {
        if (key == qtKey)
            return code;
    }
    return 0;
}

} // namespace

namespace KeyMap {

quint8 VirtualKey(int qtKey, bool isKeypad)
{
    if (isKeypad) {
        if (const quint8 code = keypadKey(qtKey))
            return code;
    }
    return mainKey(qtKey);
}

// The keys of the main block are known by where they are on the layout in
// use, not by the character they type; the others by what Qt calls them.
quint8 VirtualKeyOfKey(quint32 keycode, int qtKey, bool isKeypad)
{
    if (!isKeypad && keycode != 0) {
        const CurrentKeyboardLayout* current = CurrentKeyboardLayout::Instance();
        if (const KeyboardLayout* layout = current ? current->Layout() : nullptr) {
            if (const quint8 key = layout->VirtualKey(keycode))
                return key;
        }
    }
    return VirtualKey(qtKey, isKeypad);
}

TShortCut ShortCutFromKeyEvent(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const quint8 key = VirtualKeyOfKey(event->nativeScanCode(), event->key(), modifiers.testFlag(Qt::KeypadModifier));
    if (key == 0)
        return ShortCuts::scNone;
    TShortCut shortCut = key;
    if (modifiers.testFlag(Qt::ShiftModifier))
        shortCut |= ShortCuts::scShift;
    if (modifiers.testFlag(Qt::ControlModifier))
        shortCut |= ShortCuts::scCtrl;
    if (modifiers.testFlag(Qt::AltModifier))
        shortCut |= ShortCuts::scAlt;
    return shortCut;
}

} // namespace KeyMap
