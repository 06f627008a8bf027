#pragma once

#include "app/preview/FormulaExporter.h"

#include <QObject>
#include <QPoint>

class QAction;
class QMenu;
class QWebEngineView;

// The preview's own context menu in place of the browser's: it copies the
// formula under the pointer, or the whole preview, in the forms the exporter
// makes, and, at its top while there is one, the selection as its source.
// Entries that cannot apply to what is under the pointer are disabled.
class PreviewContextMenu : public QObject {
    Q_OBJECT

public:
    explicit PreviewContextMenu(QWebEngineView* view);

    FormulaExporter* exporter() const { return m_exporter; }
    QMenu* menu() const { return m_menu; }
    // Shows the menu for what lies at the point of the view.
    void popup(const QPoint& point);
    // Shows the menu asked for from the keyboard: at the pointer when it is
    // over the view, else at the view's corner for the whole preview.
    void popupFromKeyboard();

private:
    void popup(const QPoint& point, const QPoint& globalPoint);
    void show(const ExportTarget& target, const QPoint& globalPoint);
    void addEntry(const QString& text, FormulaExporter::Format format);

    QWebEngineView* m_view;
    FormulaExporter* m_exporter;
    QMenu* m_menu;
    QAction* m_copySelection;
    QAction* m_selectionEnd;
    QAction* m_tooLarge;
    ExportTarget m_target;
};
