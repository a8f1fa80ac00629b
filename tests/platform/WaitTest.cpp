#include "platform/Wait.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

// Other timers run during a wait, and an idle wait sleeps on the event loop.
TEST(Wait, RunsTheEventLoopAndBurnsNoCpu) {
    bool busy = true;
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(5);
    QTimer::singleShot(80, [&] { busy = false; });
    EXPECT_TRUE(WaitWhile([&] { return busy; }, true));
    EXPECT_GE(ticks, 3);
    tick.stop();
    const double cpu0 = CpuSeconds();
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(WaitFor(500, false));
    EXPECT_GE(t.elapsed(), 500);
    EXPECT_LT(CpuSeconds() - cpu0, 0.1);
}

TEST(Wait, ShutDownEndsRunningAndLaterWaits) {
    QTimer::singleShot(30, [] { EndWaits(); });
    EXPECT_FALSE(WaitWhile([] { return true; }, false));
    EXPECT_FALSE(WaitFor(5000, false));
    EndWaits(false);
    EXPECT_TRUE(WaitFor(10, false));
}
