#include "app/AboutText.h"

#include "project/TProject.h"

QString AboutText(const QString& title, const TProject& project)
{
    return title + QStringLiteral(" version ") + project.Version() + QStringLiteral(" (Build ")
        + QString::number(project.Build()) + QStringLiteral(")\n") + project.Copyright() + u'\n'
        + project.Comment() + u'\n' + u'\n' + project.Trademarks();
}
