#include "app/preview/PreviewPage.h"

#include "app/preview/PreviewSchemeHandler.h"

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
    // The engine remembers the size of a formula that scrolled out of view
    // through an observer of its own, which reports this on many refreshes;
    // nothing is lost, the size is taken at the next frame.
    if (message.endsWith(QLatin1String("ResizeObserver loop limit exceeded")))
        return;
    if (level == ErrorMessageLevel)
        qCWarning(lcPreviewPage).noquote() << sourceID << lineNumber << message;
    else
        qCDebug(lcPreviewPage).noquote() << sourceID << lineNumber << message;
}
