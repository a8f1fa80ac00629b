#include "platform/Wait.h"

#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

TEST(Wait, HeldEscEndsOnlyWaitsThatAllowIt) {
    QLineEdit w;
    w.show();
    w.setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    // Esc pressed by a timer during the wait, as an operator would.
    QTimer::singleShot(50, [&] { QTest::keyPress(&w, Qt::Key_Escape); });
    EXPECT_FALSE(WaitFor(5000, true));
    EXPECT_TRUE(EscTracker::IsEscDown());
    // Held down, it does not end a wait that must run to its end.
    EXPECT_TRUE(WaitFor(60, false));
    QTest::keyRelease(&w, Qt::Key_Escape);
    EXPECT_FALSE(EscTracker::IsEscDown());
    EXPECT_TRUE(WaitFor(20, true));
}
