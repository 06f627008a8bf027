#pragma once

#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <optional>

// Serves the preview page and the typesetter through the application's own URL
// scheme. Only our own files are served: the page, its scripts, style sheet
// and typesetting worker from the resources, the channel's script from its
// library, the typesetter's script, style sheet, chemistry extension and
// fonts from where the distribution installs them. Every other request fails.
class PreviewSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    static constexpr const char* Scheme = "tamsel";
    static constexpr const char* Host = "preview";

    // Registers the scheme with the web engine; must run before the
    // application object is created. Later calls do nothing.
    static void registerScheme();
    static QUrl pageUrl();

    struct Resource {
        QString fileName;
        QByteArray mimeType;
    };

    explicit PreviewSchemeHandler(QString typesetterDir, QObject* parent = nullptr);

    // The file a URL stands for, or nothing when it is not one of ours.
    std::optional<Resource> resolve(const QUrl& url) const;

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QString m_typesetterDir;
    QString m_chemistryScript;
};
