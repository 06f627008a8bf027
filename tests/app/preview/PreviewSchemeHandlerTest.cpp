#include "app/preview/PreviewSchemeHandler.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

QUrl url(const char* path)
{
    return QUrl(QStringLiteral("tamsel://preview") + QLatin1String(path));
}

} // namespace

TEST(PreviewSchemeHandlerTest, ServesOnlyTheListedFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("contrib")));
    QFile(dir.filePath(QStringLiteral("contrib/mhchem.js"))).open(QIODevice::WriteOnly);
    const PreviewSchemeHandler handler(dir.path());

    struct Case {
        const char* path;
        QString file;
    };
    const Case served[] = {
        { "/index.html", QStringLiteral(":/preview/index.html") },
        { "/preview.js", QStringLiteral(":/preview/preview.js") },
        { "/katex/katex.min.js", dir.filePath(QStringLiteral("katex.min.js")) },
        { "/katex/katex.min.css", dir.filePath(QStringLiteral("katex.min.css")) },
        { "/katex/contrib/mhchem.js", dir.filePath(QStringLiteral("contrib/mhchem.js")) },
        { "/katex/fonts/KaTeX_Main-Regular.woff2", dir.filePath(QStringLiteral("fonts/KaTeX_Main-Regular.woff2")) },
    };
    for (const Case& c : served) {
        const auto resource = handler.resolve(url(c.path));
        ASSERT_TRUE(resource.has_value()) << c.path;
        EXPECT_EQ(resource->fileName, c.file) << c.path;
    }
    EXPECT_EQ(handler.resolve(url("/katex/fonts/KaTeX_Main-Regular.woff2"))->mimeType, "font/woff2");

    const QUrl refused[] = {
        url("/"),
        url("/katex/katex.js"),
        url("/katex/contrib/auto-render.js"),
        url("/katex/fonts/../../../../etc/passwd"),
        url("/katex/fonts/KaTeX_Main-Regular.woff2/x"),
        url("/katex/fonts/%2e%2e%2fkatex.min.js"),
        url("/index.html?x=1"),
        QUrl(QStringLiteral("tamsel://elsewhere/index.html")),
        QUrl(QStringLiteral("tamsel://user@preview/index.html")),
        QUrl(QStringLiteral("file:///etc/passwd")),
        QUrl(QStringLiteral("https://example.org/index.html")),
    };
    for (const QUrl& u : refused)
        EXPECT_FALSE(handler.resolve(u).has_value()) << u.toString().toStdString();
}

TEST(PreviewSchemeHandlerTest, ChemistryExtensionIsServedOnlyWhenInstalled)
{
    QTemporaryDir dir;
    const PreviewSchemeHandler handler(dir.path());
    EXPECT_FALSE(handler.resolve(url("/katex/contrib/mhchem.js")).has_value());
}
