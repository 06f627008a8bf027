#include "TApplication.h"
#include "TTimer.h"
#include "TestSupport.h"

#include <QElapsedTimer>

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
    timer->SetEnabled(false);
    timer->SetEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return counter.ticks == 1; }));
    EXPECT_GE(counter.lastTickMs - restartedAt, 299) << "the tick came before the full interval";
}

TEST_F(TTimerTest, SameValueChangesNothingButSameHandlerRestarts)
{
    // Wide margins: a restart would push the tick a whole second on.
    timer->SetInterval(1000);
    timer->SetOnTimer(tickHandler());
    TestSupport::pump(400);
    const qint64 reassignedAt = counter.clock.elapsed();
    timer->SetInterval(1000);
    timer->SetEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return counter.ticks == 1; }));
    EXPECT_LT(counter.lastTickMs - reassignedAt, 900) << "an unchanged value restarted the countdown";

    // Halfway to the next tick: a restart puts it a whole interval away.
    TestSupport::pump(500);
    const qint64 handlerAt = counter.clock.elapsed();
    timer->SetOnTimer(tickHandler());
    ASSERT_TRUE(waitUntil([&] { return counter.ticks == 2; }));
    EXPECT_GE(counter.lastTickMs - handlerAt, 999) << "assigning the handler must restart";
}

TEST_F(TTimerTest, NewIntervalOnEnabledTimerRestartsWithIt)
{
    timer->SetInterval(1000);
    timer->SetOnTimer(tickHandler());
    const qint64 changedAt = counter.clock.elapsed();
    timer->SetInterval(100);
    ASSERT_TRUE(waitUntil([&] { return counter.ticks == 1; }));
    EXPECT_GE(counter.lastTickMs - changedAt, 99);
    EXPECT_LT(counter.lastTickMs - changedAt, 900);
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
