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

TEST(WaitUntil, endsAsSoonAsItsConditionHoldsAfterAnEvent)
{
    struct Case {
        int fireAfterMs; // when the event that makes the condition true comes; -1: never
        int waitMs;
        bool ended;      // by the condition
    } cases[] = {{30, 2000, true}, {-1, 150, false}, {300, 100, false}};
    for (const Case &c : cases) {
        bool flag = false;
        QTimer event;
        event.setSingleShot(true);
        QObject::connect(&event, &QTimer::timeout, [&] { flag = true; });
        if (c.fireAfterMs >= 0)
            event.start(c.fireAfterMs);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(WaitUntil(c.waitMs, [&] { return flag; }), c.ended) << c.fireAfterMs;
        if (c.ended)
            EXPECT_LT(clock.elapsed(), 1000) << "returns with the event, not at the end of the wait";
        else
            EXPECT_GE(clock.elapsed(), c.waitMs - 10);
    }
    EXPECT_TRUE(WaitUntil(5000, [] { return true; })) << "a condition true at once: no wait";
}
