#pragma once

#include "app/HistoryText.h"

#include <QList>
#include <QString>

class QWebEnginePage;
class QWidget;

// The page that shows the History window's entries. Its frame comes as HTML
// whose content policy lets it load only from the program's own scheme (the
// typesetter, the list's script and style), which its profile serves.
namespace HistoryPage {

// A page of the widget's own, loading the list's frame.
QWebEnginePage* create(QWidget* owner);
// The entries as the page's script takes them: time, first line and the TeX
// of the small preview, the first formula of a text with delimiters or the
// start of one without.
QString entriesScript(const QList<HistoryEntry>& entries);
QString previewTex(const QString& text);
QString firstLine(const QString& text);

} // namespace HistoryPage
