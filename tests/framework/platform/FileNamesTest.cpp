#include "platform/FileNames.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

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

// The main window names its preview and settings files so.
TEST(FileNames, ChangeFileExtNamesThePreviewAndSettingsFiles)
{
    const struct {
        const char* path;
        const char* extension;
        const char* expected;
    } cases[] = {
        { "/opt/tamsel/tamsel", ".tex", "/opt/tamsel/tamsel.tex" }, // no dot: appended
        { "/opt/tamsel/tamsel.bin", ".ini", "/opt/tamsel/tamsel.ini" },
        { "/opt/tools.old/tamsel", ".tex", "/opt/tools.old/tamsel.tex" }, // dot in a folder name
        { "/opt/tamsel/tamsel.", ".tex", "/opt/tamsel/tamsel.tex" }, // trailing dot replaced
        { "/opt/a.b/tamsel.v1.2.bin", ".tex", "/opt/a.b/tamsel.v1.2.tex" }, // only the last extension
        { "C:\\Tools\\app.exe", ".tex", "C:\\Tools\\app.tex" },
        { "/a.b/c", ".tex", "/a.b/c.tex" },
        { "x", ".tex", "x.tex" },
        { ".x", ".tex", ".tex" },
        { "a:b.c", ".tex", "a:b.tex" },
        { "/", ".tex", "/.tex" },
        { "", ".tex", ".tex" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChangeFileExt(c.path, c.extension), c.expected) << c.path;
}

TEST(FileNames, ChangeFileExtReplacesOnlyTheLastExtension)
{
    EXPECT_EQ(ChangeFileExt("/a/b.c.d", ".tex"), "/a/b.c.tex");
    EXPECT_EQ(ChangeFileExt("/a/name.", ".tex"), "/a/name.tex");
    EXPECT_EQ(ChangeFileExt("/a/.hidden", ".tex"), "/a/.tex");
    EXPECT_EQ(ChangeFileExt("", ".tex"), ".tex");
}

// The link's target bytes give the path only when a text names them exactly.
TEST(FileNames, LinkTargetNamesOnlyPathsThatTextCanHold)
{
    QTemporaryDir dir;
    const struct {
        QByteArray target;
        bool named;
    } cases[] = {
        { "/opt/tools/tamsel", true },
        { "/opt/t\xc3\xa4ls/tamsel", true },
        { "/opt/t\xe4ls/tamsel", false }, // a Latin-1 folder name
        { "/opt/\xff\xfe/tamsel", false },
    };
    for (const auto& c : cases) {
        const QByteArray link = QFile::encodeName(dir.filePath(QStringLiteral("link")));
        ::unlink(link.constData());
        ASSERT_EQ(::symlink(c.target.constData(), link.constData()), 0);
        EXPECT_EQ(LinkTarget(link), c.named ? QString::fromUtf8(c.target) : QString()) << c.target.toStdString();
    }
    EXPECT_EQ(LinkTarget(QFile::encodeName(dir.filePath(QStringLiteral("none")))), QString());
}
