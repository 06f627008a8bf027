#pragma once

#include <QObject>

class PreviewContextMenu;
class QKeyEvent;
class QWebEngineView;
class QWidget;

// The keyboard in the preview. The page takes the focus only from a click in
// it, never from a refresh or from the engine replacing the widget that
// shows it. While it has the focus, the copy key puts the selection on the
// clipboard as its source, the menu key (and Shift+F10) opens the preview's
// context menu, and the keys that move or select stay with the page; a key
// that types or edits is the editor's and is handed on through typed(), for
// whoever owns the editor to give it there.
class PreviewKeyboard : public QObject {
    Q_OBJECT

public:
    PreviewKeyboard(QWebEngineView* view, PreviewContextMenu* menu, QObject* parent);

    // Whether a key pressed in the preview belongs to the editor.
    static bool isForEditor(const QKeyEvent& key);
    // Watches every widget the view holds now; those it makes later are
    // watched as they come.
    void watchAll();

signals:
    void typed(const QKeyEvent& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watch(QWidget* widget);
    bool take(const QKeyEvent& key);
    void giveFocusBack(QWidget* old, QWidget* now);

    QWebEngineView* m_view;
    PreviewContextMenu* m_menu;
    // Whether the focus came into the page last from a click.
    bool m_isFocusClicked = false;
};
