#include "ChangeExtension.h"
#include "FileNames.h"

#include <gtest/gtest.h>

TEST(ChangeExtension, NamesThePreviewAndSettingsFiles)
{
    EXPECT_EQ(ChangeExtension("/opt/tamsel/tamsel", ".tex"), "/opt/tamsel/tamsel.tex") << "no dot: appended";
    EXPECT_EQ(ChangeExtension("/opt/tamsel/tamsel.bin", ".ini"), "/opt/tamsel/tamsel.ini");
    EXPECT_EQ(ChangeExtension("/opt/tools.old/tamsel", ".tex"), "/opt/tools.old/tamsel.tex") << "dot in a folder name";
    EXPECT_EQ(ChangeExtension("/opt/tamsel/tamsel.", ".tex"), "/opt/tamsel/tamsel.tex") << "trailing dot replaced";
    EXPECT_EQ(ChangeExtension("/opt/a.b/tamsel.v1.2.bin", ".tex"), "/opt/a.b/tamsel.v1.2.tex") << "only the last extension";
    EXPECT_EQ(ChangeExtension("C:\\Tools\\app.exe", ".tex"), "C:\\Tools\\app.tex");
    EXPECT_EQ(ChangeExtension("", ".tex"), ".tex");
}

TEST(ChangeExtension, AgreesWithTheFrameworksExtensionChange)
{
    for (const char* path : { "/a/b", "/a.b/c", "/a/b.", "/a/b.c.d", "x", ".x", "/a/.x", "a:b.c", "/", "" })
        EXPECT_EQ(ChangeExtension(path, ".tex"), FileNames::ChangeFileExt(path, ".tex")) << path;
}
