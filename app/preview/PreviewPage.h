#pragma once

#include <QWebEnginePage>

// The preview's page: it stays on the preview document. Every navigation
// elsewhere (a link, a script, a dropped file) is refused, and the page's
// console goes to the application's log.
class PreviewPage : public QWebEnginePage {
    Q_OBJECT

public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
        const QString& sourceID) override;
};
