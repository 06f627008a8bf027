#include "application/TApplication.h"
#include "core/TTimer.h"
#include "TestSupport.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using TestSupport::waitUntil;

namespace {

// Counts ticks and remembers when they came.
class TickCounter : public QObject {
public:
    void tick(TObject*)
    {
        ++ticks;
        lastTickMs = clock.elapsed();
    }
    void raise(TObject*)
    {
        ++ticks;
        throw Exception(QStringLiteral("boom"));
    }
    int ticks = 0;
    qint64 lastTickMs = -1;
    QElapsedTimer clock;
};

// A precise single-shot timer to compare a tick with. Both wait in the same
// event loop, so a loaded machine delays them alike and their order holds
// where wall-clock bounds would not; a tick that comes before a reference
// started earlier with the same interval came early (a coarse timer does).
class Reference {
public:
    Reference()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setSingleShot(true);
        m_timer.callOnTimeout([this] { m_fired = true; });
    }
    void start(int ms) { m_timer.start(ms); }
    bool fired() const { return m_fired; }

private:
    QTimer m_timer;
    bool m_fired = false;
};

class TTimerTest : public ::testing::Test {
protected:
    void SetUp() override { counter.clock.start(); }
    void TearDown() override { TTimer::SetRefuseTimersForTesting(false); }
    TNotifyEvent tickHandler() { return TNotifyEvent(&counter, &TickCounter::tick); }

    TickCounter counter;
    std::unique_ptr<TTimer> timer = std::make_unique<TTimer>(nullptr);
};

} // namespace

TEST_F(TTimerTest, ArmedOnlyWithEnabledIntervalAndHandler)
{
    EXPECT_TRUE(timer->Enabled());
    EXPECT_EQ(timer->Interval(), 1000u);
    EXPECT_FALSE(timer->IsArmed()) << "no handler yet";

    timer->SetInterval(0);
    timer->SetOnTimer(tickHandler());
    EXPECT_FALSE(timer->IsArmed()) << "interval 0 never fires";

    timer->SetInterval(20);
    EXPECT_TRUE(timer->IsArmed());
    EXPECT_TRUE(waitUntil([&] { return counter.ticks >= 3; })) << "periodic";

    timer->SetEnabled(false);
    EXPECT_FALSE(timer->IsArmed());
    const int ticks = counter.ticks;
    TestSupport::pump(80);
    EXPECT_EQ(counter.ticks, ticks);
}

TEST_F(TTimerTest, ToggleRestartsTheFullInterval)
{
    timer->SetInterval(300);
    timer->SetOnTimer(tickHandler());
    TestSupport::pump(200);
    const qint64 restartedAt = counter.clock.elapsed();
    Reference fullInterval;
    fullInterval.start(300);
    timer->SetEnabled(false);
    timer->SetEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return counter.ticks == 1; }));
    EXPECT_GE(counter.lastTickMs - restartedAt, 299) << "the tick came before the full interval";
    EXPECT_TRUE(fullInterval.fired()) << "the tick came before the full interval";
}

// A timer that may fire a little early (as coarse timers do, by up to 5%)
// does so only at some phases of the clock: several restarts find it.
TEST_F(TTimerTest, NoTickComesBeforeItsInterval)
{
    timer->SetInterval(130);
    timer->SetOnTimer(tickHandler());
    // The event loop's own record tells at once what the rounds below find
    // only at some phases.
    for (const auto& registered : QAbstractEventDispatcher::instance()->registeredTimers(timer.get()))
        EXPECT_EQ(registered.timerType, Qt::PreciseTimer);
    for (int round = 1; round <= 5; ++round) {
        Reference fullInterval;
        fullInterval.start(130);
        timer->SetEnabled(false);
        timer->SetEnabled(true);
        ASSERT_TRUE(waitUntil([&] { return counter.ticks == round; }));
        EXPECT_TRUE(fullInterval.fired()) << "round " << round;
        TestSupport::pump(round * 7); // another phase of the clock
    }
}

TEST_F(TTimerTest, SameValueChangesNothingButSameHandlerRestarts)
{
    // Wide margins: a restart would push the tick a whole second on.
    timer->SetInterval(1000);
    timer->SetOnTimer(tickHandler());
    TestSupport::pump(400);
    Reference restarted;
    restarted.start(1000);
    timer->SetInterval(1000);
    timer->SetEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return counter.ticks == 1; }));
    EXPECT_FALSE(restarted.fired()) << "an unchanged value restarted the countdown";

    // Halfway to the next tick: a restart puts it a whole interval away.
    TestSupport::pump(500);
    const qint64 handlerAt = counter.clock.elapsed();
    Reference wholeInterval;
    wholeInterval.start(1000);
    timer->SetOnTimer(tickHandler());
    ASSERT_TRUE(waitUntil([&] { return counter.ticks == 2; }));
    EXPECT_GE(counter.lastTickMs - handlerAt, 999) << "assigning the handler must restart";
    EXPECT_TRUE(wholeInterval.fired()) << "assigning the handler must restart";
}

TEST_F(TTimerTest, NewIntervalOnEnabledTimerRestartsWithIt)
{
    timer->SetInterval(1000);
    timer->SetOnTimer(tickHandler());
    const qint64 changedAt = counter.clock.elapsed();
    Reference newInterval;
    Reference oldInterval;
    newInterval.start(100);
    oldInterval.start(1000);
    timer->SetInterval(100);
    ASSERT_TRUE(waitUntil([&] { return counter.ticks == 1; }));
    EXPECT_GE(counter.lastTickMs - changedAt, 99);
    EXPECT_TRUE(newInterval.fired()) << "the tick came before the new interval";
    EXPECT_FALSE(oldInterval.fired()) << "the old interval still ran";
}

TEST_F(TTimerTest, RaisingHandlerReportsOncePerTickAndKeepsTicking)
{
    TestSupport::MessageBoxRecorder boxes;
    timer->SetInterval(20);
    timer->SetOnTimer(TNotifyEvent(&counter, &TickCounter::raise));
    ASSERT_TRUE(waitUntil([&] { return counter.ticks >= 3; }));
    timer->SetEnabled(false);
    EXPECT_EQ(boxes.boxes().size(), counter.ticks);
    EXPECT_EQ(boxes.boxes().first().text, "boom.");
    EXPECT_TRUE(timer->IsArmed() == false);
}

TEST_F(TTimerTest, RefusedTimerRaisesAndEnabledStaysTrue)
{
    timer->SetEnabled(false);
    timer->SetOnTimer(tickHandler());
    TTimer::SetRefuseTimersForTesting(true);
    try {
        timer->SetEnabled(true);
        FAIL() << "no exception";
    } catch (const EOutOfResources& e) {
        EXPECT_EQ(e.Message(), "Not enough timers available");
    }
    EXPECT_TRUE(timer->Enabled());
    EXPECT_FALSE(timer->IsArmed());

    TTimer::SetRefuseTimersForTesting(false);
    timer->SetInterval(10);
    EXPECT_TRUE(waitUntil([&] { return counter.ticks >= 1; })) << "a later change arms it";
}

TEST_F(TTimerTest, IntervalsBeyondTheSignedRangeArmNormally)
{
    timer->SetOnTimer(tickHandler());
    for (uint interval : { 2147483647u, 2147483648u, 3000000000u, 4294967295u }) {
        EXPECT_NO_THROW(timer->SetInterval(interval)) << interval;
        EXPECT_TRUE(timer->IsArmed()) << interval;
        EXPECT_GT(timer->LegForTesting(), 2147483000) << interval;
        EXPECT_LE(timer->LegForTesting(), 2147483647) << interval;
    }
    TestSupport::pump(50);
    EXPECT_EQ(counter.ticks, 0);
}
