#include "platform/event_loop.h"
#include "platform/messages.h"
#include "platform/tick_count.h"
#include "platform/timer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>

using namespace platform;

namespace {
uint32_t RealMs() {
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

struct TickSourceGuard {
    ~TickSourceGuard() { SetTickSource({}); }
};
} // namespace

TEST(TickCount, SourceCanBeSubstitutedAndRestored) {
    TickSourceGuard guard;
    SetTickSource([] { return 0xFFFFFFF0u; });
    EXPECT_EQ(TickCount(), 0xFFFFFFF0u);
    SetTickSource([] { return 0x10u; });
    // 0x10 - 0xFFFFFFF0 in 32-bit arithmetic is 0x20 milliseconds.
    EXPECT_EQ(TicksSince(0xFFFFFFF0u), 0x20u);
    SetTickSource({});
    const uint32_t a = TickCount();
    const uint32_t b = TickCount();
    EXPECT_LE(b - a, 1000u);
}

TEST(WaitUntil, ReturnsTrueAtOnceWhenThePredicateHolds) {
    int calls = 0;
    EXPECT_TRUE(WaitUntil([&] { return ++calls > 0; }, 100000));
    EXPECT_EQ(calls, 1);
}

TEST(WaitUntil, EndsAtTheDeadlineWithFalse) {
    const uint32_t start = RealMs();
    EXPECT_FALSE(WaitUntil([] { return false; }, 300));
    EXPECT_GE(RealMs() - start, 290u);
}

TEST(WaitUntil, DeliversTimerTicksAndPostedMessages) {
    int ticks = 0;
    Timer timer([&] { ++ticks; });
    timer.setInterval(10);
    timer.start();
    EXPECT_TRUE(WaitUntil([&] { return ticks >= 3; }, 20000));

    const uint32_t id = RegisterMessage("event loop test message");
    bool seen = false;
    MessageHook hook([&](const Message& m, bool&) { seen = seen || m.id == id; });
    Broadcast(id, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return seen; }, 20000));
}

TEST(WaitUntil, WakesForAPostedCallThatMakesThePredicateTrue) {
    // The posted call runs inside the dispatcher, which would block afterwards
    // without the about-to-block check.
    bool done = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { done = true; }, Qt::QueuedConnection);
    const uint32_t start = RealMs();
    EXPECT_TRUE(WaitUntil([&] { return done; }, 60000));
    EXPECT_LT(RealMs() - start, 30000u);
}

TEST(WaitUntil, NestsInsideAHandler) {
    bool inner = false;
    bool outerDone = false;
    QTimer::singleShot(1, [&] {
        // A wait inside a handler still delivers other events.
        QTimer::singleShot(1, [&] { inner = true; });
        EXPECT_TRUE(WaitUntil([&] { return inner; }, 20000));
        outerDone = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return outerDone; }, 30000));
}

TEST(WaitUntil, EndsOnTimeAcrossTheCounterWrapAround) {
    TickSourceGuard guard;
    const uint32_t realStart = RealMs();
    // 200 ms before the 32-bit counter wraps.
    SetTickSource([realStart] { return 0xFFFFFF38u + (RealMs() - realStart); });
    const uint32_t start = RealMs();
    EXPECT_FALSE(WaitUntil([] { return false; }, 500));
    const uint32_t waited = RealMs() - start;
    EXPECT_GE(waited, 490u);
    EXPECT_LT(waited, 30000u);
}

TEST(WaitUntil, ANestedWaitBlocksWhileTheOuterConditionHolds) {
    // The outer wait's condition comes true in a handler that then waits itself (as a
    // frame handler's wait runs inside a command's answer wait). The inner wait must
    // still block, and the outer one must end as soon as the inner one returns.
    auto* dispatcher = QAbstractEventDispatcher::instance();
    int wakeUps = 0;
    QObject counter;
    QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, &counter, [&] { ++wakeUps; });
    bool outerCondition = false;
    int innerWakeUps = -1;
    uint32_t innerEnd = 0;
    QTimer::singleShot(1, [&] {
        outerCondition = true;
        const int before = wakeUps;
        Sleep(300);
        innerWakeUps = wakeUps - before;
        innerEnd = RealMs();
    });
    EXPECT_TRUE(WaitUntil([&] { return outerCondition; }, 60000));
    // A blocked wait of 300 ms wakes for its deadline and little else; a wait whose
    // blocks are interrupted wakes thousands of times.
    EXPECT_GE(innerWakeUps, 0);
    EXPECT_LT(innerWakeUps, 50);
    EXPECT_LT(RealMs() - innerEnd, 30000u);
}
