#include "platform/event_loop.h"
#include "platform/messages.h"

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

TEST(RegisterMessage, SameNameSameNumberDifferentNamesDiffer) {
    const uint32_t a = RegisterMessage("Room status event from HL driver");
    const uint32_t b = RegisterMessage("Room status event from HL driver");
    const uint32_t c = RegisterMessage("room status event from HL driver");
    EXPECT_NE(a, 0u);
    EXPECT_GE(a, 0xC000u);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST(Broadcast, IsAsynchronousAndKeepsOrder) {
    const uint32_t id = RegisterMessage("order test");
    std::vector<intptr_t> seen;
    MessageHook hook([&](const Message& m, bool&) {
        if (m.id == id)
            seen.push_back(m.lParam);
    });
    for (intptr_t i = 1; i <= 5; ++i)
        Broadcast(id, 1, i);
    EXPECT_TRUE(seen.empty()) << "delivered before any dispatch";
    ASSERT_TRUE(WaitUntil([&] { return seen.size() == 5; }, 20000));
    EXPECT_EQ(seen, (std::vector<intptr_t>{1, 2, 3, 4, 5}));
}

TEST(MessageHook, HandledStopsLaterHooksAndRemovalInsideOwnCallIsSafe) {
    const uint32_t id = RegisterMessage("hook test");
    std::vector<std::string> calls;
    MessageHook first;
    first = MessageHook([&](const Message& m, bool& handled) {
        if (m.id != id)
            return;
        calls.push_back("first:" + std::to_string(m.wParam));
        handled = m.wParam == 1;
        if (m.wParam == 2)
            first.remove(); // removes itself while running
    });
    MessageHook second([&](const Message& m, bool&) {
        if (m.id == id)
            calls.push_back("second:" + std::to_string(m.wParam));
    });
    Broadcast(id, 1, 0); // handled by the first: the second does not see it
    Broadcast(id, 2, 0); // the first removes itself, the second still sees it
    Broadcast(id, 3, 0); // only the second is left
    ASSERT_TRUE(WaitUntil([&] { return calls.size() == 4; }, 20000));
    EXPECT_EQ(calls, (std::vector<std::string>{"first:1", "first:2", "second:2", "second:3"}));
    EXPECT_FALSE(first.installed());
}

TEST(MessageHook, DestroyedHookSeesNothing) {
    const uint32_t id = RegisterMessage("destroyed hook test");
    int count = 0;
    {
        MessageHook hook([&](const Message& m, bool&) { count += m.id == id; });
        Broadcast(id, 0, 0);
    }
    bool later = false;
    MessageHook probe([&](const Message& m, bool&) { later = later || m.id == id; });
    ASSERT_TRUE(WaitUntil([&] { return later; }, 20000));
    EXPECT_EQ(count, 0);
}
