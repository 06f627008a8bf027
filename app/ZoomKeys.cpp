#include "app/ZoomKeys.h"

#include "app/PaneZoom.h"
#include "controls/KeyMap.h"
#include "core/ExceptionBoundary.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWheelEvent>

ZoomKeys::ZoomKeys(Pane editor, Pane preview, std::function<bool(TShortCut)> isMenuKey, QObject* parent)
    : QObject(parent)
    , m_editor(std::move(editor))
    , m_preview(std::move(preview))
    , m_isMenuKey(std::move(isMenuKey))
{
}

PaneZoom* ZoomKeys::paneOf(const QObject* object) const
{
    const QWidget* widget = qobject_cast<const QWidget*>(object);
    for (const Pane* pane : { &m_editor, &m_preview }) {
        if (widget && pane->widget && (widget == pane->widget || pane->widget->isAncestorOf(widget)))
            return pane->zoom;
    }
    return nullptr;
}

bool ZoomKeys::eventFilter(QObject* watched, QEvent* event)
{
    bool isTaken = false;
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
        guarded(this, [&] { isTaken = onKey(watched, static_cast<QKeyEvent*>(event), event->type() == QEvent::ShortcutOverride); });
        break;
    case QEvent::Wheel:
        guarded(this, [&] { isTaken = onWheel(watched, static_cast<QWheelEvent*>(event)); });
        break;
    default:
        break;
    }
    return isTaken || QObject::eventFilter(watched, event);
}

// The keys are known by what they type, so that Ctrl+plus is found on any
// layout; a key the menu binds is left to the menu.
bool ZoomKeys::onKey(QObject* watched, const QKeyEvent* key, bool isOverride)
{
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (modifiers != Qt::ControlModifier)
        return false;
    PaneZoom* zoom = paneOf(QApplication::focusWidget() ? QApplication::focusWidget() : watched);
    if (!zoom || (m_isMenuKey && m_isMenuKey(KeyMap::ShortCutFromKeyEvent(key))))
        return false;
    void (PaneZoom::*step)() = nullptr;
    if (key->key() == Qt::Key_Plus || key->key() == Qt::Key_Equal)
        step = &PaneZoom::ZoomIn;
    else if (key->key() == Qt::Key_Minus)
        step = &PaneZoom::ZoomOut;
    else if (key->key() == Qt::Key_0 && key->modifiers().testFlag(Qt::KeypadModifier))
        step = &PaneZoom::Reset;
    if (!step)
        return false;
    // The override only claims the key, so that no shortcut takes it.
    if (isOverride) {
        const_cast<QKeyEvent*>(key)->accept();
        return true;
    }
    (zoom->*step)();
    return true;
}

bool ZoomKeys::onWheel(QObject* watched, const QWheelEvent* wheel)
{
    if ((wheel->modifiers() & ~Qt::KeypadModifier) != Qt::ControlModifier)
        return false;
    PaneZoom* zoom = paneOf(watched);
    if (!zoom)
        return false;
    // A touchpad turns in small amounts: a step is taken per whole notch.
    m_wheelTurned += wheel->angleDelta().y();
    while (m_wheelTurned >= WheelStep) {
        m_wheelTurned -= WheelStep;
        zoom->ZoomIn();
    }
    while (m_wheelTurned <= -WheelStep) {
        m_wheelTurned += WheelStep;
        zoom->ZoomOut();
    }
    return true;
}
