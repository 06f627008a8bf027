#include "controls/ShortCut.h"
#include "core/StringTable.h"

#include <gtest/gtest.h>

using ShortCuts::ShortCutToText;

TEST(ShortCut, TextsOfTheMainMenu)
{
    EXPECT_EQ(ShortCutToText(27), "Esc");
    EXPECT_EQ(ShortCutToText(45), "Ins");
    EXPECT_EQ(ShortCutToText(0x402D), "Ctrl+Ins");
    EXPECT_EQ(ShortCutToText(0x40BF), "Ctrl+/");
    EXPECT_EQ(ShortCutToText(0x4031), "Ctrl+1");
    EXPECT_EQ(ShortCutToText(0x4030), "Ctrl+0");
    EXPECT_EQ(ShortCutToText(0x402E), "Ctrl+Del");
}

TEST(ShortCut, PrefixesComeShiftCtrlAltInThatOrder)
{
    EXPECT_EQ(ShortCutToText(0x6041), "Shift+Ctrl+A");
    EXPECT_EQ(ShortCutToText(0xE041), "Shift+Ctrl+Alt+A");
    EXPECT_EQ(ShortCutToText(0x8000 | 'X'), "Alt+X");
}

TEST(ShortCut, KeyNamesByRange)
{
    EXPECT_EQ(ShortCutToText(8), "BkSp");
    EXPECT_EQ(ShortCutToText(13), "Enter");
    EXPECT_EQ(ShortCutToText(40), "Down");
    EXPECT_EQ(ShortCutToText(96), "0");
    EXPECT_EQ(ShortCutToText(105), "9");
    EXPECT_EQ(ShortCutToText(112), "F1");
    EXPECT_EQ(ShortCutToText(135), "F24");
}

TEST(ShortCut, KeyWithoutOneCharacterNameGivesNoText)
{
    // The keypad's multiply key and an unassigned code have no short name.
    EXPECT_EQ(ShortCutToText(0x6A), "");
    EXPECT_EQ(ShortCutToText(0x40FF), "");
    EXPECT_EQ(ShortCutToText(0), "");
}

TEST(ShortCut, StringTableHoldsKeyNamesByNumber)
{
    EXPECT_EQ(StringTable::LoadStr(61575), "BkSp");
    EXPECT_EQ(StringTable::LoadStr(61589), "Del");
    EXPECT_EQ(StringTable::LoadStr(61592), "Alt+");
    EXPECT_EQ(StringTable::LoadStr(61593), "");
}
