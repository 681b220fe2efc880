// LinkContext below the C interface: what SendFrame reports for the driver's replies,
// and sending while the connection is gone.
#include "frame_format.h"
#include "link_context.h"

#include "hlsim/simulator.h"
#include "platform/event_loop.h"
#include "platform/tick_count.h"
#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace varnel;

namespace {

class LinkContextTest : public ::testing::Test {
protected:
    LinkContextTest() {
        simulator.listen();
        if (std::getenv("HLSIM_LOG"))
            simulator.setLogger([](const std::string& l) { std::printf("sim %s\n", l.c_str()); });
        timings.sendConnectWaitMs = 500;
        timings.keepAliveMs = 600000;
        link = std::make_unique<LinkContext>(timings, RegisteredMessages::Register());
        const auto outcome = link->connect("127.0.0.1", simulator.portText(), dir.path() + "/");
        EXPECT_EQ(outcome.result, 0) << outcome.message;
    }

    test_support::TempDir dir;
    hlsim::Simulator simulator;
    LinkTimings timings;
    std::unique_ptr<LinkContext> link;
};

} // namespace

TEST_F(LinkContextTest, SendFrameReportsTheDriversReply) {
    simulator.setReply("D", "*", {}); // only the reply byte comes back
    struct Case {
        const char* name;
        hlsim::AckMode mode;
        bool result;
        uint8_t ackState;
    };
    for (const Case& c : {Case{"acknowledged", hlsim::AckMode::Ack, true, 0x06},
                          Case{"refused with 0x15", hlsim::AckMode::Refuse, false, 0x15},
                          Case{"no reply", hlsim::AckMode::Withhold, false, 0}}) {
        SCOPED_TRACE(c.name);
        simulator.setAckMode(c.mode);
        EXPECT_EQ(link->sendFrame(WithChecksum("D     101"), true), c.result);
        EXPECT_EQ(link->ackState(), c.ackState);
    }
    EXPECT_TRUE(link->sendFrame(WithChecksum("D     101"), false)); // no wait: sent is enough
}

TEST_F(LinkContextTest, ASingleByteReadIsTheReplyWhateverItIs) {
    simulator.sendRaw("\x15");
    ASSERT_TRUE(platform::WaitUntil([&] { return link->ackState() == 0x15; }, 20000));
    simulator.sendRaw("Z");
    ASSERT_TRUE(platform::WaitUntil([&] { return link->ackState() == 'Z'; }, 20000));
}

TEST_F(LinkContextTest, AfterPeerCloseSendFrameWaitsAndSendsNothing) {
    simulator.closeConnection();
    ASSERT_TRUE(platform::WaitUntil([&] { return !link->connected(); }, 20000));
    const size_t received = simulator.received().size();
    const uint32_t start = platform::TickCount();
    EXPECT_FALSE(link->sendFrame(WithChecksum("D     101"), true));
    EXPECT_GE(platform::TicksSince(start), 450u);
    platform::Sleep(100);
    EXPECT_EQ(simulator.received().size(), received);
}

TEST_F(LinkContextTest, UnknownFramesAreDroppedWithoutAcknowledgement) {
    const size_t acks = simulator.acksReceived();
    simulator.sendRaw("\x02J" + std::string(70, ' ') + "\x03"); // 73 bytes: no such frame
    ASSERT_TRUE(platform::WaitUntil([&] { return link->droppedFrames() == 1; }, 20000));
    simulator.send({hlsim::BuildFrame("checkout", {{"room", "101"}})});
    ASSERT_TRUE(platform::WaitUntil([&] { return simulator.acksReceived() == acks + 1; }, 20000));
    platform::Sleep(100);
    EXPECT_EQ(simulator.acksReceived(), acks + 1);
}
