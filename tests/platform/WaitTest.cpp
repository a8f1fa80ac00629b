#include "platform/Wait.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

TEST(Wait, RunsTheEventLoopUntilTheConditionTurnsFalse) {
    bool busy = true;
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(5);
    QTimer::singleShot(80, [&] { busy = false; });
    EXPECT_TRUE(WaitWhile([&] { return busy; }, true));
    EXPECT_FALSE(busy);
    EXPECT_GE(ticks, 3); // other timers ran during the wait
}

TEST(Wait, IdleWaitUsesNoMeasurableCpu) {
    const double cpu0 = CpuSeconds();
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(WaitFor(500, false));
    EXPECT_GE(t.elapsed(), 500);
    EXPECT_LT(CpuSeconds() - cpu0, 0.1);
}

TEST(Wait, HeldEscEndsOnlyWaitsThatAllowIt) {
    QLineEdit w;
    w.show();
    w.setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    // Esc pressed by a timer during the wait, as an operator would.
    QTimer::singleShot(50, [&] { QTest::keyPress(&w, Qt::Key_Escape); });
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(WaitFor(5000, true));
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_TRUE(EscTracker::IsEscDown());
    // Held down, it does not end a wait that must run to its end.
    EXPECT_TRUE(WaitFor(60, false));
    QTest::keyRelease(&w, Qt::Key_Escape);
    EXPECT_FALSE(EscTracker::IsEscDown());
    EXPECT_TRUE(WaitFor(20, true));
}

TEST(Wait, ShutDownEndsRunningAndLaterWaits) {
    QTimer::singleShot(30, [] { EndWaits(); });
    EXPECT_FALSE(WaitWhile([] { return true; }, false));
    EXPECT_FALSE(WaitFor(5000, false));
    EndWaits(false);
    EXPECT_TRUE(WaitFor(10, false));
}
