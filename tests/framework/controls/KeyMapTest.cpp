#include "controls/KeyMap.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

namespace {
TShortCut shortCutOf(int key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    return KeyMap::ShortCutFromKeyEvent(&event);
}
} // namespace

TEST(KeyMap, KeysOfTheMainMenu)
{
    EXPECT_EQ(shortCutOf(Qt::Key_Escape, Qt::NoModifier), 27);
    EXPECT_EQ(shortCutOf(Qt::Key_Insert, Qt::NoModifier), 45);
    EXPECT_EQ(shortCutOf(Qt::Key_Insert, Qt::ControlModifier), 0x402D);
    EXPECT_EQ(shortCutOf(Qt::Key_Slash, Qt::ControlModifier), 0x40BF);
    EXPECT_EQ(shortCutOf(Qt::Key_2, Qt::ControlModifier), 0x4032);
    EXPECT_EQ(shortCutOf(Qt::Key_Delete, Qt::ControlModifier), 0x402E);
}

TEST(KeyMap, KeypadAndShiftedKeys)
{
    // The keypad's digits are keys of their own; its Ins (no Num Lock) is Ins.
    EXPECT_EQ(shortCutOf(Qt::Key_5, Qt::KeypadModifier), 101);
    EXPECT_EQ(shortCutOf(Qt::Key_Insert, Qt::KeypadModifier), 45);
    // A shifted digit is still its digit key, with Shift.
    EXPECT_EQ(shortCutOf(Qt::Key_Exclam, Qt::ShiftModifier | Qt::ControlModifier), 0x6031);
    EXPECT_EQ(shortCutOf(Qt::Key_Question, Qt::ShiftModifier), 0x20BF);
    EXPECT_EQ(shortCutOf(Qt::Key_A, Qt::AltModifier), 0x8041);
}

TEST(KeyMap, UnknownKeyIsNoShortCut)
{
    EXPECT_EQ(shortCutOf(Qt::Key_MediaPlay, Qt::ControlModifier), 0);
}
