#pragma once

#include "controls/ShortCut.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class PaneZoom;

// Ctrl+plus (also Ctrl+= and the keypad's plus), Ctrl+minus and Ctrl with the
// keypad's 0 zoom the pane that has the focus; Ctrl with the wheel zooms the
// pane under the pointer. Ctrl+0 of the main block is the menu's (every key
// the menu binds stays the menu's).
class ZoomKeys : public QObject {
    Q_OBJECT

public:
    struct Pane {
        QPointer<QWidget> widget;
        PaneZoom* zoom;
    };
    ZoomKeys(Pane editor, Pane preview, std::function<bool(TShortCut)> isMenuKey, QObject* parent);

    bool eventFilter(QObject* watched, QEvent* event) override;

    // A wheel turns this far, in eighths of a degree, per step.
    static constexpr int WheelStep = 120;

private:
    PaneZoom* paneOf(const QObject* object) const;
    bool onKey(QObject* watched, const class QKeyEvent* key, bool isOverride);
    bool onWheel(QObject* watched, const class QWheelEvent* wheel);

    Pane m_editor;
    Pane m_preview;
    std::function<bool(TShortCut)> m_isMenuKey;
    int m_wheelTurned = 0;
};
