#include "TaskProbe.h"
#include "VirtualScheduler.h"

#include "support/QtScheduler.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

using namespace std::chrono_literals;
using namespace sayloom;
using sayloom::testing::TaskProbe;
using sayloom::testing::VirtualScheduler;

namespace {

QCoro::Task<bool> sleepFor(Scheduler& scheduler, Duration d, CancellationToken token = {}) {
    co_return co_await scheduler.sleep(d, token);
}

} // namespace

TEST(VirtualSchedulerTest, FiresDueActionsInTimeOrderIncludingOnesScheduledWhileAdvancing) {
    VirtualScheduler scheduler;
    std::vector<std::string> fired;
    Timer late;
    Timer a = scheduler.scheduleOnce(300ms, [&] { fired.push_back("a@300"); });
    Timer b = scheduler.scheduleOnce(100ms, [&] {
        fired.push_back("b@100");
        // Scheduled during the advance and due within it: must fire, before "a".
        late = scheduler.scheduleOnce(150ms, [&] { fired.push_back("late@250"); });
    });
    Timer tie1 = scheduler.scheduleOnce(300ms, [&] { fired.push_back("tie@300"); });

    scheduler.advance(299ms);
    EXPECT_EQ(fired, (std::vector<std::string>{"b@100", "late@250"}));
    scheduler.advance(1ms);
    EXPECT_EQ(fired, (std::vector<std::string>{"b@100", "late@250", "a@300", "tie@300"}));
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST(VirtualSchedulerTest, ClocksMoveTogetherAndShowTheDueTimeInsideActions) {
    VirtualScheduler scheduler;
    const auto monotonicStart = scheduler.monotonicNow();
    const auto wallStart = scheduler.wallNow();
    Duration seenAt{};
    Timer t =
        scheduler.scheduleOnce(2s, [&] { seenAt = scheduler.monotonicNow() - monotonicStart; });
    scheduler.advance(5s);
    EXPECT_EQ(seenAt, 2s);
    EXPECT_EQ(scheduler.monotonicNow() - monotonicStart, 5s);
    EXPECT_EQ(scheduler.wallNow() - wallStart, 5s);
}

TEST(VirtualSchedulerTest, RepeatingTimersFireEachIntervalUntilCancelledOrDropped) {
    VirtualScheduler scheduler;
    int ticks = 0;
    Timer repeating = scheduler.scheduleRepeating(2s, [&] { ++ticks; });
    scheduler.advance(7s);
    EXPECT_EQ(ticks, 3);
    repeating.cancel();
    EXPECT_FALSE(repeating.isActive());
    scheduler.advance(10s);
    EXPECT_EQ(ticks, 3);

    int dropped = 0;
    {
        Timer scoped = scheduler.scheduleRepeating(1s, [&] { ++dropped; });
    }
    scheduler.advance(5s);
    EXPECT_EQ(dropped, 0) << "destroying the handle cancels the timer";
}

TEST(VirtualSchedulerTest, AnActionMayCancelItsOwnRepeatingTimer) {
    VirtualScheduler scheduler;
    int ticks = 0;
    Timer self;
    self = scheduler.scheduleRepeating(1s, [&] {
        if (++ticks == 2)
            self.cancel();
    });
    scheduler.advance(10s);
    EXPECT_EQ(ticks, 2);
}

TEST(VirtualSchedulerTest, OneShotIsInactiveOnceFiredAndMoveAssignmentCancelsTheOld) {
    VirtualScheduler scheduler;
    int first = 0, second = 0;
    Timer t = scheduler.scheduleOnce(1s, [&] { ++first; });
    EXPECT_TRUE(t.isActive());
    t = scheduler.scheduleOnce(1s, [&] { ++second; });
    scheduler.advance(1s);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    EXPECT_FALSE(t.isActive());
}

TEST(SchedulerSleepTest, CompletesAfterTheFullDurationOnly) {
    VirtualScheduler scheduler;
    auto probe = TaskProbe<bool>::start(sleepFor(scheduler, 200ms));
    scheduler.advance(199ms);
    EXPECT_FALSE(probe.done());
    scheduler.advance(1ms);
    ASSERT_TRUE(probe.done());
    EXPECT_TRUE(probe.value());
}

TEST(SchedulerSleepTest, CancellationEndsTheSleepEarlyAndReportsIt) {
    VirtualScheduler scheduler;
    CancellationToken token;
    auto probe = TaskProbe<bool>::start(sleepFor(scheduler, 5s, token));
    scheduler.advance(1s);
    token.cancel();
    EXPECT_FALSE(probe.done()) << "the sleeper resumes from the event loop, not inside cancel()";
    scheduler.runDue();
    ASSERT_TRUE(probe.done());
    EXPECT_FALSE(probe.value());
    EXPECT_EQ(scheduler.pendingCount(), 0u);

    auto already = TaskProbe<bool>::start(sleepFor(scheduler, 5s, token));
    ASSERT_TRUE(already.done()) << "a cancelled token does not suspend at all";
    EXPECT_FALSE(already.value());
}

TEST(SchedulerSleepTest, CancellingAfterCompletionChangesNothing) {
    VirtualScheduler scheduler;
    CancellationToken token;
    auto probe = TaskProbe<bool>::start(sleepFor(scheduler, 1s, token));
    scheduler.advance(1s);
    token.cancel();
    scheduler.runDue();
    ASSERT_TRUE(probe.done());
    EXPECT_TRUE(probe.value());
}

TEST(CancellationTokenTest, CallbacksRunOnceAndUnsubscribedOnesNever) {
    CancellationToken token;
    int a = 0, b = 0;
    token.subscribe([&] { ++a; });
    auto reg = token.subscribe([&] { ++b; });
    token.unsubscribe(reg);
    CancellationToken copy = token;
    copy.cancel();
    token.cancel();
    EXPECT_TRUE(token.isCancelled());
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(token.subscribe([&] { ++a; }), 0u);
}

// The application's scheduler runs on real Qt timers: check it against the event loop with
// generous bounds (no fixed sleep; the loop runs until the event or the bound).
TEST(QtSchedulerTest, FiresOneShotsAndSleepsOnTheEventLoop) {
    QtScheduler scheduler;
    bool fired = false;
    bool cancelledFired = false;
    QElapsedTimer elapsed;
    elapsed.start();
    Timer t = scheduler.scheduleOnce(30ms, [&] { fired = true; });
    Timer c = scheduler.scheduleOnce(10ms, [&] { cancelledFired = true; });
    c.cancel();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired; }, 5000));
    EXPECT_GE(elapsed.elapsed(), 29);
    EXPECT_FALSE(cancelledFired);

    CancellationToken token;
    auto probe = TaskProbe<bool>::start(sleepFor(scheduler, 10s, token));
    token.cancel();
    EXPECT_TRUE(QTest::qWaitFor([&] { return probe.done(); }, 5000));
    EXPECT_FALSE(probe.value());

    int ticks = 0;
    Timer r = scheduler.scheduleRepeating(5ms, [&] { ++ticks; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 5000));
}
