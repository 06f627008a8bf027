#include "app/preview/PreviewSchemeHandler.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

Q_LOGGING_CATEGORY(lcPreviewScheme, "tamsel.preview.scheme")

namespace {

QByteArray fontMimeType(const QString& name)
{
    if (name.endsWith(QLatin1String(".woff2")))
        return "font/woff2";
    if (name.endsWith(QLatin1String(".woff")))
        return "font/woff";
    return "font/ttf";
}

} // namespace

void PreviewSchemeHandler::registerScheme()
{
    if (QWebEngineUrlScheme::schemeByName(Scheme).name() == Scheme)
        return;
    QWebEngineUrlScheme scheme(Scheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Secure, so the page is a secure context; CORS, so the fonts load as
    // same-origin resources. Not a local scheme: the engine would treat the
    // page like a local file, which with file access switched off may not
    // load its own scripts.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QUrl PreviewSchemeHandler::pageUrl()
{
    return QUrl(QStringLiteral("%1://%2/index.html").arg(QLatin1String(Scheme), QLatin1String(Host)));
}

PreviewSchemeHandler::PreviewSchemeHandler(QString typesetterDir, QObject* parent)
    : QWebEngineUrlSchemeHandler(parent)
    , m_typesetterDir(std::move(typesetterDir))
{
    // Some distributions ship the chemistry extension only unminified.
    for (const char* name : { "contrib/mhchem.min.js", "contrib/mhchem.js" }) {
        const QString candidate = m_typesetterDir + QLatin1Char('/') + QLatin1String(name);
        if (QFileInfo(candidate).isFile()) {
            m_chemistryScript = candidate;
            break;
        }
    }
}

std::optional<PreviewSchemeHandler::Resource> PreviewSchemeHandler::resolve(const QUrl& url) const
{
    if (url.scheme() != QLatin1String(Scheme) || url.host() != QLatin1String(Host) || url.hasQuery()
        || !url.userInfo().isEmpty())
        return std::nullopt;
    const QString path = url.path();

    if (path == QLatin1String("/index.html"))
        return Resource { QStringLiteral(":/preview/index.html"), "text/html" };
    if (path == QLatin1String("/preview.js"))
        return Resource { QStringLiteral(":/preview/preview.js"), "text/javascript" };
    if (path == QLatin1String("/preview.css"))
        return Resource { QStringLiteral(":/preview/preview.css"), "text/css" };
    if (path == QLatin1String("/export.js"))
        return Resource { QStringLiteral(":/preview/export.js"), "text/javascript" };
    if (path == QLatin1String("/export.css"))
        return Resource { QStringLiteral(":/preview/export.css"), "text/css" };
    if (path == QLatin1String("/katex/katex.min.js"))
        return Resource { m_typesetterDir + QLatin1String("/katex.min.js"), "text/javascript" };
    if (path == QLatin1String("/katex/katex.min.css"))
        return Resource { m_typesetterDir + QLatin1String("/katex.min.css"), "text/css" };
    if (path == QLatin1String("/katex/contrib/mhchem.js") && !m_chemistryScript.isEmpty())
        return Resource { m_chemistryScript, "text/javascript" };

    // Font names are plain words, so no path can climb out of the font folder.
    static const QRegularExpression fontPath(
        QStringLiteral("^/katex/fonts/(KaTeX_[A-Za-z0-9]+-[A-Za-z0-9]+\\.(?:woff2|woff|ttf))$"));
    const QRegularExpressionMatch match = fontPath.match(path);
    if (match.hasMatch()) {
        const QString name = match.captured(1);
        return Resource { m_typesetterDir + QLatin1String("/fonts/") + name, fontMimeType(name) };
    }
    return std::nullopt;
}

void PreviewSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job)
{
    if (job->requestMethod() != "GET") {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const std::optional<Resource> resource = resolve(job->requestUrl());
    if (!resource) {
        qCWarning(lcPreviewScheme) << "refused" << job->requestUrl().toDisplayString().left(200);
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // The job owns the file and closes it when the reply is done.
    auto* file = new QFile(resource->fileName, job);
    if (!file->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    job->reply(resource->mimeType, file);
}
