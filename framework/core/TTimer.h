#pragma once

#include "core/TComponent.h"

#include <QDeadlineTimer>

// Calls OnTimer on the user-interface thread every Interval milliseconds while
// it is armed: enabled, with a non-zero interval and a handler. Every setter
// that changes something re-arms, so the countdown starts again from zero with
// the full interval; assigning the current value changes nothing, except for
// OnTimer, which always re-arms.
class TTimer : public TComponent {
    Q_OBJECT
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(uint Interval READ Interval WRITE SetInterval)

public:
    explicit TTimer(QObject* owner);
    ~TTimer() override;

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    uint Interval() const { return m_interval; }
    void SetInterval(uint interval);
    const TNotifyEvent& OnTimer() const { return m_onTimer; }
    void SetOnTimer(const TNotifyEvent& handler);

    bool IsArmed() const { return m_timerId != 0; }
    // The length of the platform timer's current leg, in milliseconds.
    qint64 LegForTesting() const;

    // Test seam: while set, starting a platform timer fails as when the
    // system has no timers left.
    static void SetRefuseTimersForTesting(bool refuse);

protected:
    // Runs for each tick; calls OnTimer with the timer as sender.
    virtual void Timer();
    void timerEvent(QTimerEvent* event) override;

private:
    void updateTimer();
    void startLeg();

    bool m_enabled = true;
    uint m_interval = 1000;
    TNotifyEvent m_onTimer;
    int m_timerId = 0;
    QDeadlineTimer m_due;
};
