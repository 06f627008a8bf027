#pragma once

#include <QList>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

// Blocks every request of the preview's web view that does not go to the
// application's own scheme: the preview never touches the network or the
// file system. Blocked requests are remembered for diagnosis and tests.
class PreviewRequestGuard : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT

public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

    QList<QUrl> blockedUrls() const;

private:
    QList<QUrl> m_blocked;
};
