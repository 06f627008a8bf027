#include "PaintProbe.h"

#include "EventWait.h"

#include <QEvent>
#include <QWidget>

PaintProbe::PaintProbe(const QElapsedTimer& clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
{
}

void PaintProbe::watch(QWidget* widget)
{
    if (widget == m_widget)
        return;
    if (m_widget)
        m_widget->removeEventFilter(this);
    m_widget = widget;
    if (m_widget)
        m_widget->installEventFilter(this);
}

bool PaintProbe::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_widget && event->type() == QEvent::Paint)
        m_paints.append(m_clock.nsecsElapsed());
    return QObject::eventFilter(watched, event);
}

qint64 PaintProbe::firstPaintSince(qint64 ns) const
{
    for (qint64 at : m_paints) {
        if (at >= ns)
            return at;
    }
    return -1;
}

qint64 PaintProbe::waitForPaintSince(qint64 ns, int timeoutMs)
{
    EventWait::until([&] { return firstPaintSince(ns) >= 0; }, timeoutMs);
    return firstPaintSince(ns);
}

void PaintProbe::settle(int quietMs, int timeoutMs)
{
    const qint64 start = m_clock.nsecsElapsed();
    const qint64 quiet = qint64(quietMs) * 1'000'000;
    const qint64 deadline = start + qint64(timeoutMs) * 1'000'000;
    for (;;) {
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 last = m_paints.isEmpty() ? start : std::max(start, m_paints.back());
        if (now - last >= quiet || now >= deadline)
            return;
        // Sleeps until the quiet time would be over; a paint meanwhile moves
        // that moment on.
        EventWait::sleep(int(std::min(last + quiet, deadline) - now) / 1'000'000 + 1);
    }
}
