// Searching again and again: at once, then on the timer, until stopped or until the list holds
// the wanted number of modules.
#include "netconfig/KeepSearch.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct KeepSearchFixture : ::testing::Test {
    TKeepSearch keep;
    int sent = 0;
    int listed = 0;
    QSignalSpy finished{&keep, &TKeepSearch::Finished};

    void SetUp() override
    {
        keep.IntervalMs = 20;
        keep.SendSearch = [this] { ++sent; };
        keep.Answered = [this] { return listed; };
    }
};

TEST_F(KeepSearchFixture, untilStoppedItSearchesAtOnceAndThenOnEveryTick)
{
    keep.Start(0);
    EXPECT_EQ(sent, 1) << "the first search goes at once";
    EXPECT_TRUE(keep.Active());
    ASSERT_TRUE(QTest::qWaitFor([&] { return sent >= 4; }, 2000));
    listed = 5000;
    keep.Check();
    EXPECT_TRUE(keep.Active()) << "0 has no count to reach";
    keep.Stop();
    EXPECT_FALSE(keep.Active());
    ASSERT_EQ(finished.size(), 1);
    EXPECT_FALSE(finished[0][0].toBool());
    const int after = sent;
    QTest::qWait(80);
    EXPECT_EQ(sent, after);
    EXPECT_EQ(keep.Rounds(), after);
    keep.Stop();
    EXPECT_EQ(finished.size(), 1) << "a stop of nothing says nothing";
}

TEST_F(KeepSearchFixture, aCountEndsItOnceTheListHoldsThatMany)
{
    struct Case {
        int listedAtStart;
        int until;
        int sentAtStart;
        bool active;
    } cases[] = {{0, 3, 1, true}, {2, 3, 1, true}, {3, 3, 0, false}, {7, 3, 0, false}, {0, -4, 1, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.until * 100 + c.listedAtStart);
        sent = 0;
        listed = c.listedAtStart;
        finished.clear();
        keep.Start(c.until);
        EXPECT_EQ(sent, c.sentAtStart);
        EXPECT_EQ(keep.Active(), c.active);
        if (!c.active) {
            ASSERT_EQ(finished.size(), 1);
            EXPECT_TRUE(finished[0][0].toBool());
            continue;
        }
        keep.Check();
        EXPECT_TRUE(keep.Active()) << "not there yet";
        listed = 3;
        keep.Check();
        EXPECT_EQ(keep.Active(), c.until <= 0);
        if (c.until > 0) {
            ASSERT_EQ(finished.size(), 1);
            EXPECT_TRUE(finished[0][0].toBool());
        }
        keep.Stop();
    }
    // Rows that came between two ticks without a Check still end it at the next tick.
    listed = 0;
    sent = 0;
    finished.clear();
    keep.Start(2);
    listed = 2;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !keep.Active(); }, 2000));
    EXPECT_EQ(sent, 1);
    ASSERT_EQ(finished.size(), 1);
    EXPECT_TRUE(finished[0][0].toBool());
}

} // namespace
