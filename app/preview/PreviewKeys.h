#pragma once

#include <QObject>

class FormulaExporter;
class PreviewContextMenu;
class QKeyEvent;
class QWebEngineView;

// The keys pressed while the preview has the focus. The copy key puts the
// selection on the clipboard as its source, the menu key (and Shift+F10)
// opens the preview's context menu, and the keys that move or select stay
// with the page; a key that types or edits is the editor's and is handed on
// through typed(), for whoever owns the editor to give it there.
class PreviewKeys : public QObject {
    Q_OBJECT

public:
    PreviewKeys(QWebEngineView* view, PreviewContextMenu* menu);

    // Whether a key pressed in the preview belongs to the editor.
    static bool isForEditor(const QKeyEvent& key);

signals:
    void typed(const QKeyEvent& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watch(QObject* child);
    bool onKey(const QKeyEvent& key);

    QWebEngineView* m_view;
    PreviewContextMenu* m_menu;
};
