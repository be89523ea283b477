#include "core/Wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

TEST(WaitWithMessages, handlesEventsWhileWaitingAndReturnsOnlyAfterTheTime)
{
    int handled = 0;
    QTimer::singleShot(20, [&] { ++handled; });
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { ++handled; }, Qt::QueuedConnection);
    QElapsedTimer clock;
    clock.start();
    WaitWithMessages(300);
    EXPECT_GE(clock.elapsed(), 290);
    EXPECT_EQ(handled, 2);
}

TEST(WaitWithMessages, aNestedWaitInsideAHandlerDoesNotEndTheOuterOneEarly)
{
    bool innerDone = false;
    QTimer::singleShot(10, [&] {
        WaitWithMessages(50);
        innerDone = true;
    });
    QElapsedTimer clock;
    clock.start();
    WaitWithMessages(300);
    EXPECT_TRUE(innerDone);
    EXPECT_GE(clock.elapsed(), 290);
}

TEST(WaitWithMessages, zeroOrLessHandlesWhatIsPendingAndReturns)
{
    int handled = 0;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { ++handled; }, Qt::QueuedConnection);
    WaitWithMessages(0);
    EXPECT_EQ(handled, 1);
    WaitWithMessages(-5);
}
