#include "platform/event_loop.h"
#include "platform/timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace platform;

TEST(Timer, TicksOnlyWhileEventsAreDispatched) {
    int ticks = 0;
    Timer timer([&] { ++ticks; });
    timer.setInterval(5);
    timer.start();
    EXPECT_TRUE(timer.running());
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // no dispatch: no tick
    EXPECT_EQ(ticks, 0);
    EXPECT_TRUE(WaitUntil([&] { return ticks > 0; }, 20000));
    timer.stop();
    EXPECT_FALSE(timer.running());
    const int after = ticks;
    Sleep(50);
    EXPECT_EQ(ticks, after);
}

TEST(Timer, StartingARunningTimerKeepsItsPhase) {
    int ticks = 0;
    Timer timer([&] { ++ticks; });
    timer.setInterval(400);
    timer.start();
    // Restarting every 100 ms would postpone the tick for ever if start() restarted it.
    for (int i = 0; i < 100 && ticks == 0; ++i) {
        Sleep(100);
        timer.start();
    }
    EXPECT_GT(ticks, 0);
    EXPECT_EQ(timer.interval(), 400u);
}
