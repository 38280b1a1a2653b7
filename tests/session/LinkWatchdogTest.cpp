#include "session/LinkWatchdog.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace veska;

TEST(LinkWatchdog, ThreeSilentTicksTurnTheIndicatorAndAPacketTurnsItBack) {
    LinkWatchdog watchdog;
    QSignalSpy indicator(&watchdog, &LinkWatchdog::linkIndicatorChanged);
    int hookRuns = 0;
    watchdog.setSilentLinkHook([&] { ++hookRuns; });
    EXPECT_FALSE(watchdog.linkAlive());

    watchdog.packetHandled();
    EXPECT_TRUE(watchdog.linkAlive());
    for (int i = 0; i < 10; ++i) {  // a packet between every two ticks
        watchdog.onWatchdogTick();
        watchdog.packetHandled();
    }
    EXPECT_TRUE(watchdog.linkAlive());
    EXPECT_EQ(hookRuns, 0);

    watchdog.onWatchdogTick();
    watchdog.onWatchdogTick();
    EXPECT_TRUE(watchdog.linkAlive());
    EXPECT_EQ(watchdog.linkIdleTicks(), 2);
    watchdog.onWatchdogTick();
    EXPECT_FALSE(watchdog.linkAlive());
    EXPECT_EQ(watchdog.linkIdleTicks(), 0);
    EXPECT_EQ(hookRuns, 1);

    for (int i = 0; i < 6; ++i) watchdog.onWatchdogTick();  // the silent branch on every third tick
    EXPECT_EQ(hookRuns, 3);

    watchdog.packetHandled();
    EXPECT_TRUE(watchdog.linkAlive());
    ASSERT_EQ(indicator.count(), 3);  // on, off, on: no repeats
    EXPECT_TRUE(indicator.at(2).at(0).toBool());
}
