#include "PreviewPage.h"

#include "PreviewSchemeHandler.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPreviewPage, "tamsel.preview.page")

bool PreviewPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame)
{
    const bool isPreview = isMainFrame && url == PreviewSchemeHandler::pageUrl();
    if (!isPreview)
        qCWarning(lcPreviewPage) << "refused navigation to" << url.toDisplayString().left(200);
    return isPreview;
}

void PreviewPage::javaScriptConsoleMessage(
    JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber, const QString& sourceID)
{
    if (level == ErrorMessageLevel)
        qCWarning(lcPreviewPage).noquote() << sourceID << lineNumber << message;
    else
        qCDebug(lcPreviewPage).noquote() << sourceID << lineNumber << message;
}
