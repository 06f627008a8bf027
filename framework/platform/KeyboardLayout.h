#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

struct xkb_keymap;

// One keyboard layout as the shortcut keys see it: the virtual-key code each
// key of the main block stands for, and the layout's one-character name of
// each punctuation key.
//
// A key that types a Latin letter is that letter's key, a key that types a
// digit (shifted or not) that digit's key, so Ctrl+1 on a layout whose "1" key
// types "&" is still Ctrl+1. A punctuation key takes the code of the US key
// that types the same character; the keys left over take the code of the US
// key in their place, or, where that code went to a key elsewhere, the code
// that key left free. So every code of the main block has a key whatever the
// layout, and the menu can name it. A code is never given to the key left of
// Z, which 104-key keyboards lack: where the characters point there, the code
// goes to the key in its US place.
class KeyboardLayout {
public:
    KeyboardLayout(xkb_keymap* keymap, uint32_t group);

    // A layout compiled from its names ("de", "fr", "us" with variant
    // "dvorak"); none when the layout is unknown.
    static std::optional<KeyboardLayout> FromNames(const char* layout, const char* variant = "");

    // The code of the key with that keycode; 0 for keys outside the main block.
    quint8 VirtualKey(quint32 keycode) const;
    // The key with that code, or 0.
    quint32 KeyCode(quint8 virtualKey) const;
    // What the key with that code types unshifted, as one character; empty
    // when it types no single character.
    QString KeyName(quint8 virtualKey) const;

private:
    std::array<quint8, 256> m_virtualKeys {};
    std::array<quint32, 256> m_keyCodes {};
    std::array<QString, 256> m_names;
};
