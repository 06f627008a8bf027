#include "app/ProjectIdentity.h"

#include "project/TProject.h"

// The values in the order the designer stores them: the log comes before the
// version, whose assignment adds the log's last line.
void DescribeProject(TProject& project)
{
    project.BeginLoading();
    project.SetAutoNaming(false);
    project.SetBuild(TAMSEL_BUILD_NUMBER);
    project.SetLog({
        QStringLiteral("Project started."),
        QStringLiteral("2026-11-23 09:10: Framework, main window and refresh cycle: first cut"),
        QStringLiteral("2026-11-23 14:42: Main window tests: layout, menu, keys, refresh cycle"),
        QStringLiteral("2026-11-24 10:05: Separator entries show no caption text"),
        QStringLiteral("2026-11-24 16:30: README, program icon; message box keeps timers ticking"),
        QStringLiteral("2026-11-25 11:18: Tests: log-off close query, drop-down click, huge single line"),
        QStringLiteral("2026-11-26 09:47: End-to-end typing session under a virtual display"),
        QStringLiteral("2026-11-27 15:02: Preview pane, single-instance channel, benchmarks"),
        QStringLiteral("2026-11-30 10:26: Registration switches end at once"),
        QStringLiteral("2026-12-01 13:55: About box text"),
        QStringLiteral("2026-12-02 09:31: Instance channel in the user's private runtime folder"),
        QStringLiteral("2026-12-02 17:12: Preview frames shown as soon as they are drawn"),
        QStringLiteral("2026-12-03 11:40: Exceptions outside a catch block report nothing"),
        QStringLiteral("2026-12-04 10:08: Tests run with a session bus of their own"),
        QStringLiteral("Note: the preview typesets with the installed typesetting library."),
        QStringLiteral("2026-12-07 09:20: One helper brings the window forward"),
        QStringLiteral("Note: settings and preview file live beside the executable."),
    });
    project.SetVersion(QStringLiteral(TAMSEL_VERSION_TEXT));
    project.SetBackupFiles(QStringLiteral("*.cpp;*.h;*.txt"));
    project.SetSmartBackup(false);
    project.SetCompany(QStringLiteral("<Name of your company>"));
    project.SetCopyright(QStringLiteral("Tamsel is in the public domain. Written by the Tamsel developers, 2026, developers@tamsel.example"));
    project.SetComment(QStringLiteral("https://tamsel.example/"));
    project.SetDescription(QStringLiteral("<Description of file>"));
    project.SetSpecialBuild(QStringLiteral("<How this build differs from a standard build>"));
    project.SetPrivateBuild(QStringLiteral("<Private information>"));
    project.SetProductname(QStringLiteral("Tamsel"));
    project.SetProductVersion(QStringLiteral("<0.0.0.0>"));
    project.SetOriginalName(QStringLiteral("<name of .exe file>"));
    project.SetTrademarks(QStringLiteral("KaTeX is a work of its authors.    Qt WebEngine is a protected work of its makers."));
    project.SetLanguage(TProject::lanUS_English);
    project.SetCharset(TProject::csMultilingual);
    project.SetFileType(TProject::ftProgram);
    project.SetResourceFile(QStringLiteral("Version.res"));
}
