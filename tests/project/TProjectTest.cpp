#include "application/TApplication.h"
#include "project/TProject.h"

#include <QMetaEnum>

#include <gtest/gtest.h>

TEST(TProject, VersionIsNormalised)
{
    const struct {
        const char* given;
        const char* stored;
    } cases[] = {
        { "1.0c", "1.0c" },
        { "ver1.2b", "1.2b" },
        { "1.0C", "1.0" },
        { "2.1 beta", "2.1a" },
        { "", "0.01" },
        { "C", "0.01" },
        { "v", "v" },
        { "1.0 ", "1.0" },
        { "10", "10" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(TProject::NormalizeVersion(QString::fromUtf8(c.given)), QString::fromUtf8(c.stored)) << c.given;
}

TEST(TProject, RunTimeValues)
{
    TProject project(nullptr);
    EXPECT_EQ(project.Version(), "") << "a version is only normalised when it is set";
    EXPECT_EQ(project.Build(), 0);
    EXPECT_EQ(project.Language(), TProject::lanArabic);
    EXPECT_TRUE(project.Log().isEmpty());

    project.SetLog({ QStringLiteral("one") });
    project.SetVersion(QStringLiteral("2.0x"));
    ASSERT_EQ(project.Log().size(), 2);
    EXPECT_TRUE(project.Log().last().endsWith(": Version 2.0x"));

    project.SetBackupFiles(QStringLiteral("*.cpp"));
    project.SetBackupPath(QStringLiteral("/home/someone/backup"));
    project.SetProjectPath(QStringLiteral("/home/someone/project"));
    EXPECT_EQ(project.BackupFiles() + project.BackupPath() + project.ProjectPath(), "");

    const struct {
        const char* given;
        const char* stored;
    } files[] = { { "info.txt", "info.res" }, { "Version", "Version.res" }, { "a.b/Version", "a.b/Version.res" } };
    for (const auto& f : files) {
        project.SetResourceFile(QString::fromUtf8(f.given));
        EXPECT_EQ(project.ResourceFile(), QString::fromUtf8(f.stored));
    }
}

TEST(TProject, EnumerationsAreComplete)
{
    const QMetaObject& meta = TProject::staticMetaObject;
    EXPECT_EQ(meta.enumerator(meta.indexOfEnumerator("TLanguage")).keyCount(), 46);
    EXPECT_EQ(meta.enumerator(meta.indexOfEnumerator("TCharset")).keyCount(), 12);
    EXPECT_EQ(meta.enumerator(meta.indexOfEnumerator("TFileType")).keyCount(), 2);
    EXPECT_STREQ(QMetaEnum::fromType<TProject::TLanguage>().valueToKey(TProject::lanIgnorre), "lanIgnorre");
}

TEST(TProject, AutoNamingSetsTheTitle)
{
    const QString title = Application->Title();
    TProject project(nullptr);
    project.SetName(QStringLiteral("My_App"));
    project.SetVersion(QStringLiteral("2.0"));
    project.SetBuild(7);
    project.Loaded();
    EXPECT_EQ(Application->Title(), title) << "only with AutoNaming on";
    project.SetAutoNaming(true);
    project.Loaded();
    EXPECT_EQ(Application->Title(), "My App ver. 2.0.7");
    Application->SetTitle(title);
}
