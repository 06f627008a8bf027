#include "controls/TKeyDownHook.h"

#include "controls/KeyMap.h"
#include "core/ExceptionBoundary.h"

#include <QKeyEvent>
#include <QWidget>

TKeyDownHook::TKeyDownHook(QWidget* control)
    : QObject(control)
{
    setObjectName(QStringLiteral("TKeyDownHook"));
    control->installEventFilter(this);
}

TKeyEvent& TKeyDownHook::OnKeyDown(QWidget* control)
{
    auto* hook = control->findChild<TKeyDownHook*>(QString(), Qt::FindDirectChildrenOnly);
    if (!hook)
        hook = new TKeyDownHook(control);
    return hook->m_onKeyDown;
}

bool TKeyDownHook::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || watched != parent() || !m_onKeyDown)
        return false;
    const auto* keyEvent = static_cast<QKeyEvent*>(event);
    quint16 key = KeyMap::VirtualKey(keyEvent->key(), keyEvent->modifiers() & Qt::KeypadModifier);
    if (key == 0)
        return false;
    // The handler may replace itself, so it is called from a copy.
    const TKeyEvent handler = m_onKeyDown;
    guarded(watched, [&] { handler(watched, key, keyEvent->modifiers()); });
    return key == 0;
}
