#include "core/TTimer.h"

#include "core/Exception.h"
#include "core/ExceptionBoundary.h"

#include <QTimerEvent>

#include <algorithm>
#include <chrono>
#include <limits>

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
    m_due.setRemainingTime(std::chrono::milliseconds(m_interval), Qt::PreciseTimer);
    startLeg();
}

// Qt's timers take at most 2^31 - 1 ms; a longer interval runs in legs of at
// most that length until the whole interval has passed.
void TTimer::startLeg()
{
    const qint64 remaining = std::max<qint64>(1, m_due.remainingTime());
    const qint64 leg = std::min<qint64>(remaining, std::numeric_limits<int>::max());
    // A precise timer: a coarse one may fire up to 5% early, and the refresh
    // must never come before the delay has passed.
    m_timerId = refuseTimers ? 0 : startTimer(std::chrono::milliseconds(leg), Qt::PreciseTimer);
    if (m_timerId == 0)
        throw EOutOfResources(QStringLiteral("Not enough timers available"));
}

qint64 TTimer::LegForTesting() const
{
    return std::min<qint64>(m_due.remainingTime(), std::numeric_limits<int>::max());
}

void TTimer::Timer()
{
    m_onTimer(this);
}

void TTimer::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timerId)
        return;
    if (m_interval > uint(std::numeric_limits<int>::max())) {
        killTimer(m_timerId);
        m_timerId = 0;
        const bool due = m_due.hasExpired();
        if (due)
            m_due.setRemainingTime(std::chrono::milliseconds(m_interval), Qt::PreciseTimer);
        guarded(this, [this] { startLeg(); });
        if (!due)
            return;
    }
    guarded(this, [this] { Timer(); });
}
