#include "platform/EscNotifier.h"
#include "platform/EscTracker.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

// The key filter follows the Esc key, and a press wakes who waits for it once.
TEST(EscKey, PressAndReleaseAreTrackedAndThePressIsSignalled) {
    QLineEdit w;
    w.show();
    w.setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QSignalSpy pressed(&EscNotifier::Instance(), &EscNotifier::pressed);
    QTest::keyPress(&w, Qt::Key_Escape);
    EXPECT_TRUE(EscTracker::IsEscDown());
    QTest::keyPress(&w, Qt::Key_Escape, Qt::NoModifier, -1); // auto-repeat while held
    EXPECT_EQ(pressed.count(), 1);
    QTest::keyRelease(&w, Qt::Key_Escape);
    EXPECT_FALSE(EscTracker::IsEscDown());
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_EQ(pressed.count(), 2);
}
