#include "PaintProbe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
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
    const qint64 deadline = m_clock.nsecsElapsed() + qint64(timeoutMs) * 1'000'000;
    qint64 at = firstPaintSince(ns);
    while (at < 0 && m_clock.nsecsElapsed() < deadline) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        at = firstPaintSince(ns);
    }
    return at;
}

void PaintProbe::settle(int quietMs, int timeoutMs)
{
    const qint64 start = m_clock.nsecsElapsed();
    const qint64 quiet = qint64(quietMs) * 1'000'000;
    for (;;) {
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 last = m_paints.isEmpty() ? start : std::max(start, m_paints.back());
        if (now - last >= quiet || now - start >= qint64(timeoutMs) * 1'000'000)
            return;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
}
