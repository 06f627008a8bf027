#include "app/preview/ImmediateFrames.h"

#include "core/ExceptionBoundary.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimerEvent>
#include <QWidget>

namespace {

// The drawing widget's wait: a precise timer of this interval that draws the
// waiting frame and stops when it fires.
constexpr int FrameWaitMs = 5;

int frameWaitTimer(QObject* widget)
{
    const auto timers = QAbstractEventDispatcher::instance()->registeredTimers(widget);
    for (const auto& timer : timers) {
        if (timer.interval == FrameWaitMs && timer.timerType == Qt::PreciseTimer)
            return timer.timerId;
    }
    return 0;
}

} // namespace

ImmediateFrames::ImmediateFrames(QWidget* view, QObject* parent)
    : QObject(parent)
    , m_view(view)
{
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &ImmediateFrames::drawWaitingFrame);
}

void ImmediateFrames::drawWaitingFrame()
{
    QWidget* widget = m_view ? m_view->focusProxy() : nullptr;
    if (!widget || widget == m_foreignWidget || !widget->inherits("QQuickWidget"))
        return;
    const int timerId = frameWaitTimer(widget);
    if (!timerId)
        return;
    // What the timer does when it fires.
    QTimerEvent event(timerId);
    const QPointer<QWidget> drawn(widget);
    guarded(this, [&] { QCoreApplication::sendEvent(widget, &event); });
    if (drawn && frameWaitTimer(widget) == timerId)
        m_foreignWidget = widget;
}
