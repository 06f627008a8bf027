#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>

class QWidget;

// Records when a widget paints, on the clock the benchmark measures with.
class PaintProbe : public QObject {
public:
    PaintProbe(const QElapsedTimer& clock, QObject* parent = nullptr);

    void watch(QWidget* widget);
    void clear() { m_paints.clear(); }
    // The first paint at or after the given time, or -1.
    qint64 firstPaintSince(qint64 ns) const;
    // Runs the event loop until the widget paints at or after the given time;
    // returns that time or -1 after the timeout.
    qint64 waitForPaintSince(qint64 ns, int timeoutMs);
    // Runs the event loop until the widget has not painted for quietMs.
    void settle(int quietMs, int timeoutMs);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const QElapsedTimer& m_clock;
    QPointer<QWidget> m_widget;
    QList<qint64> m_paints;
};
