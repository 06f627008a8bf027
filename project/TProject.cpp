#include "project/TProject.h"

#include "platform/FileNames.h"
#include "application/TApplication.h"

#include <QDateTime>
#include <QLocale>

namespace {

bool isVersionDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

TProject::TProject(QObject* owner)
    : TComponent(owner)
{
}

QString TProject::NormalizeVersion(const QString& text)
{
    QString version = text;
    // The last character is judged on its own below, so the walk stops short of it.
    for (qsizetype i = 0; i + 1 < version.size();) {
        if (isVersionDigit(version[i]) || version[i] == u'.')
            ++i;
        else
            version.remove(i, 1);
    }
    if (!version.isEmpty()) {
        const QChar last = version.back();
        if (!isVersionDigit(last) && !(last >= u'a' && last <= u'z'))
            version.chop(1);
    }
    return version.isEmpty() ? QStringLiteral("0.01") : version;
}

void TProject::SetVersion(const QString& version)
{
    m_version = NormalizeVersion(version);
    m_log.append(QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat)
        + QStringLiteral(": Version ") + m_version);
}

void TProject::SetResourceFile(const QString& fileName)
{
    m_resourceFile = FileNames::ChangeFileExt(fileName, QStringLiteral(".res"));
}

void TProject::Loaded()
{
    TComponent::Loaded();
    if (!m_autoNaming || !Application)
        return;
    Application->SetTitle(Name() + QStringLiteral(" ver. ") + m_version + u'.' + QString::number(m_build));
    Application->SetTitle(Application->Title().replace(u'_', u' '));
}
