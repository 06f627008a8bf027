#include "app/preview/PreviewRequestGuard.h"

#include "app/preview/PreviewSchemeHandler.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPreviewGuard, "tamsel.preview.guard")

namespace {

// Enough to diagnose a misbehaving page without growing without end.
constexpr qsizetype MaxRemembered = 100;

} // namespace

void PreviewRequestGuard::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    const QUrl url = info.requestUrl();
    if (url.scheme() == QLatin1String(PreviewSchemeHandler::Scheme))
        return;
    info.block(true);
    qCWarning(lcPreviewGuard) << "blocked" << url.toDisplayString(QUrl::RemoveUserInfo).left(200);
    if (m_blocked.size() < MaxRemembered)
        m_blocked.append(url);
}

QList<QUrl> PreviewRequestGuard::blockedUrls() const
{
    return m_blocked;
}
