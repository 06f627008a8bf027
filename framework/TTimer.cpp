#include "TTimer.h"

#include "Exception.h"
#include "ExceptionBoundary.h"

#include <QTimerEvent>

#include <chrono>

namespace {
bool refuseTimers = false;
}

TTimer::TTimer(QObject* owner)
    : TComponent(owner)
{
}

TTimer::~TTimer()
{
    m_enabled = false;
    if (m_timerId != 0)
        killTimer(m_timerId);
}

void TTimer::SetRefuseTimersForTesting(bool refuse)
{
    refuseTimers = refuse;
}

void TTimer::SetEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    updateTimer();
}

void TTimer::SetInterval(uint interval)
{
    if (interval == m_interval)
        return;
    m_interval = interval;
    updateTimer();
}

void TTimer::SetOnTimer(const TNotifyEvent& handler)
{
    m_onTimer = handler;
    updateTimer();
}

void TTimer::updateTimer()
{
    if (m_timerId != 0) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
    if (m_interval == 0 || !m_enabled || !m_onTimer)
        return;
    // A precise timer: a coarse one may fire up to 5% early, and the refresh
    // must never come before the delay has passed.
    m_timerId = refuseTimers ? 0 : startTimer(std::chrono::milliseconds(m_interval), Qt::PreciseTimer);
    if (m_timerId == 0)
        throw EOutOfResources(QStringLiteral("Not enough timers available"));
}

void TTimer::Timer()
{
    m_onTimer(this);
}

void TTimer::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timerId)
        return;
    guarded(this, [this] { Timer(); });
}
