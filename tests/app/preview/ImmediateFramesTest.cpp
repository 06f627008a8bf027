#include "app/preview/ImmediateFrames.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QQuickWidget>
#include <QQuickWindow>
#include <QTest>
#include <QTimer>

namespace {

// Runs a plain event loop, which waits for events when it has none, for the
// given time.
void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Counts the timer events one timer delivers to a widget.
class TimerCount : public QObject {
public:
    explicit TimerCount(int timerId)
        : m_timerId(timerId)
    {
    }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Timer && static_cast<QTimerEvent*>(event)->timerId() == m_timerId)
            ++count;
        return false;
    }

private:
    int m_timerId;
};

} // namespace

// The drawing widget of a view holds a new frame back for 5 ms; the frame is
// drawn at the event loop's next idle pass instead, before any timer fires.
// A timer of the same shape that goes on after it was fired is not the
// widget's wait: it is fired once and then left to its own timing.
TEST(ImmediateFramesTest, AWaitingFrameIsDrawnBeforeAnyTimerFires)
{
    QWidget view;
    auto* drawing = new QQuickWidget(&view);
    drawing->resize(120, 80);
    view.setFocusProxy(drawing);
    view.resize(120, 80);
    // The first frame is drawn before the frames under test are asked for.
    bool isDrawn = false;
    QObject::connect(drawing->quickWindow(), &QQuickWindow::afterRendering, [&] { isDrawn = true; });
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return isDrawn; }));
    ImmediateFrames frames(&view, nullptr);

    QStringList order;
    QObject::connect(drawing->quickWindow(), &QQuickWindow::afterRendering, [&] { order << "frame"; });
    drawing->quickWindow()->update();
    QTimer::singleShot(1, [&] { order << "timer"; });
    runEventLoop(50);
    ASSERT_TRUE(order.contains("frame"));
    EXPECT_EQ(order.first(), QStringLiteral("frame")) << qPrintable(order.join(QLatin1Char(' ')));

    TimerCount foreign(drawing->startTimer(5, Qt::PreciseTimer));
    drawing->installEventFilter(&foreign);
    QElapsedTimer clock;
    clock.start();
    runEventLoop(100);
    EXPECT_GE(foreign.count, 1);
    EXPECT_LE(foreign.count, clock.elapsed() / 5 + 2) << "a timer that does not stop is fired on every idle pass";
}
