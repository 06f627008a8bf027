#include "FileNames.h"

#include <gtest/gtest.h>

using namespace FileNames;

TEST(FileNames, SplitsFolderNameAndExtension)
{
    EXPECT_EQ(ExtractFilePath("/opt/tools/tamsel.bin"), "/opt/tools/");
    EXPECT_EQ(ExtractFileName("/opt/tools/tamsel.bin"), "tamsel.bin");
    EXPECT_EQ(ExtractFileExt("/opt/tools/tamsel.bin"), ".bin");
    EXPECT_EQ(ExtractFilePath("tamsel"), "");
    EXPECT_EQ(ExtractFileName("tamsel"), "tamsel");
    EXPECT_EQ(ExtractFileExt("tamsel"), "");
}

TEST(FileNames, DotInFolderIsNoExtension)
{
    EXPECT_EQ(ExtractFileExt("/opt/tools.old/tamsel"), "");
    EXPECT_EQ(ChangeFileExt("/opt/tools.old/tamsel", ".ini"), "/opt/tools.old/tamsel.ini");
}

TEST(FileNames, BackslashAndColonDelimitToo)
{
    EXPECT_EQ(ExtractFileName("C:\\Tools\\app.exe"), "app.exe");
    EXPECT_EQ(ChangeFileExt("C:\\Tools.old\\app", ".tex"), "C:\\Tools.old\\app.tex");
    EXPECT_EQ(ExtractFilePath("C:app.exe"), "C:");
}

TEST(FileNames, ChangeFileExtReplacesOnlyTheLastExtension)
{
    EXPECT_EQ(ChangeFileExt("/a/b.c.d", ".tex"), "/a/b.c.tex");
    EXPECT_EQ(ChangeFileExt("/a/name.", ".tex"), "/a/name.tex");
    EXPECT_EQ(ChangeFileExt("/a/.hidden", ".tex"), "/a/.tex");
    EXPECT_EQ(ChangeFileExt("", ".tex"), ".tex");
}
