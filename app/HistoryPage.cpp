#include "app/HistoryPage.h"

#include "app/preview/PreviewSchemeHandler.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWidget>

#ifndef TAMSEL_KATEX_DIR
#define TAMSEL_KATEX_DIR "/usr/share/javascript/katex"
#endif

namespace {

// A preview shows the start of a formula only: a row's height is bounded
// and a long formula would only be cut anyway.
constexpr int MaxPreviewLength = 400;
constexpr int MaxFirstLineLength = 200;

const char* const Frame = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8">
<meta http-equiv="Content-Security-Policy"
      content="default-src 'none'; script-src tamsel:; style-src tamsel:; font-src tamsel:; img-src 'none'; base-uri 'none'; form-action 'none'">
<title>History</title>
<link rel="stylesheet" href="katex/katex.min.css">
<link rel="stylesheet" href="history.css">
<script src="katex/katex.min.js"></script>
</head><body><div id="list" role="listbox"></div><script src="history.js"></script></body></html>)";

} // namespace

namespace HistoryPage {

QWebEnginePage* create(QWidget* owner)
{
    auto* profile = new QWebEngineProfile(owner);
    profile->setSpellCheckEnabled(false);
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->installUrlSchemeHandler(PreviewSchemeHandler::Scheme,
        new PreviewSchemeHandler(QStringLiteral(TAMSEL_KATEX_DIR), profile));
    auto* page = new QWebEnginePage(profile, owner);
    page->setHtml(QString::fromUtf8(Frame), QUrl(QStringLiteral("tamsel://preview/history.html")));
    return page;
}

QString firstLine(const QString& text)
{
    const QString trimmed = text.trimmed();
    return trimmed.left(trimmed.indexOf(QLatin1Char('\n'))).left(MaxFirstLineLength);
}

QString previewTex(const QString& text)
{
    static const QRegularExpression formula(
        QStringLiteral(R"(\$\$(.+?)\$\$|\\\[(.+?)\\\]|\\\((.+?)\\\)|\$(.+?)\$)"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = formula.match(text.left(MaxPreviewLength * 8));
    if (match.hasMatch()) {
        for (int group = 1; group <= 4; ++group) {
            if (match.capturedLength(group) > 0)
                return match.captured(group).left(MaxPreviewLength);
        }
    }
    return text.left(MaxPreviewLength);
}

QString entriesScript(const QList<HistoryEntry>& entries)
{
    QJsonArray list;
    const QLocale locale;
    for (const HistoryEntry& entry : entries) {
        list.append(QJsonObject {
            { QStringLiteral("time"), locale.toString(entry.time.toLocalTime(), QLocale::ShortFormat) },
            { QStringLiteral("first"), firstLine(entry.text) },
            { QStringLiteral("tex"), previewTex(entry.text) },
        });
    }
    return QStringLiteral("historyList.setEntries(%1)")
        .arg(QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact)));
}

} // namespace HistoryPage
