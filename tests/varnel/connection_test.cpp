// Connect, Disconnect, IsDrvConnected, keep-alive, connection notifications and the
// library's unload, over loopback against the HL driver simulator.
#include "link_fixture.h"

#include "hlsim/frames.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/tick_count.h"
#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace varnel_test;

namespace {

const std::string Handshake("\x02\x40\xFF\xFF\xFF\xFF\x03", 7);
const std::string KeepAlive("\x02\x24\xFF\xFF\xFF\xFF\x03", 7);
const char* const Connected = "Connected to HL driver";
const char* const Disconnected = "Disconnected from HL driver";
const char* const CannotConnect = "Cannot connect to Orvane hotel link driver!";

size_t KeepAlives(const hlsim::Simulator& sim) {
    size_t n = 0;
    for (const auto& f : sim.frames())
        n += f == KeepAlive ? 1 : 0;
    return n;
}

} // namespace

class Connection : public LinkTest {};

TEST_F(Connection, ConnectSendsTheHandshakeAndDisconnectEndsIt) {
    EXPECT_EQ(varnel->IsDrvConnected(), -1);
    std::string message = "x";
    ASSERT_EQ(connect(&message), 0);
    EXPECT_EQ(message, "");
    EXPECT_EQ(varnel->IsDrvConnected(), 0);
    ASSERT_TRUE(waitFor([&] { return !simulator.frames().empty(); }));
    EXPECT_EQ(simulator.received().substr(0, 7), Handshake);
    ASSERT_TRUE(waitForNotification(Connected));

    EXPECT_EQ(varnel->Disconnect(), 1);
    EXPECT_EQ(varnel->IsDrvConnected(), -1);
    ASSERT_TRUE(waitForNotification(Disconnected));
    EXPECT_TRUE(waitFor([&] { return !simulator.connected(); }));
    EXPECT_EQ(varnel->Disconnect(), 1); // again: nothing to do
    EXPECT_EQ(notifications.count(Connected), 1u);
    EXPECT_EQ(notifications.count(Disconnected), 1u);
}

TEST_F(Connection, ClosedPortFailsAtOnceWithMinus8) {
    OutText message;
    const uint32_t start = platform::TickCount();
    EXPECT_EQ(varnel->Connect("127.0.0.1", ClosedPort().c_str(), folder().c_str(), message.ptr()),
              -8);
    EXPECT_LT(platform::TicksSince(start), 5000u); // the wait is 9000 ms
    EXPECT_EQ(message.str(), CannotConnect);
    EXPECT_EQ(varnel->IsDrvConnected(), -1);
}

TEST_F(Connection, UnusableQueueFolderGivesMinus3AndLeavesTheConnection) {
    ASSERT_EQ(connect(), 0);
    test_support::WriteFile(dir.file("plain-file"), "x");
    std::string lockedFolder = dir.path() + "/locked/";
    platform::CreateFolders(lockedFolder);
    test_support::WriteFile(lockedFolder + "WakeUps.txt", "1|a|\r\n");
    auto lock = platform::File::Open(lockedFolder + "WakeUps.txt", platform::Access::ReadWrite,
                                     platform::Share::Exclusive);
    struct Case {
        std::string folder;
        std::string inMessage;
    };
    for (const Case& c : {Case{"", "Unable to create directory"},
                          Case{dir.file("plain-file") + "/q/", "Unable to create directory"},
                          Case{lockedFolder, "WakeUps.txt"}}) {
        SCOPED_TRACE(c.folder);
        OutText message;
        EXPECT_EQ(varnel->Connect("127.0.0.1", simulator.portText().c_str(), c.folder.c_str(),
                                  message.ptr()),
                  -3);
        EXPECT_NE(message.str().find(c.inMessage), std::string::npos) << message.str();
        EXPECT_EQ(varnel->IsDrvConnected(), 0);
    }
    EXPECT_EQ(simulator.connectionCount(), 1);
}

TEST_F(Connection, FolderWithoutSeparatorPrefixesTheFileNames) {
    OutText message;
    const std::string folder = dir.path() + "/q";
    ASSERT_EQ(
        varnel->Connect("127.0.0.1", simulator.portText().c_str(), folder.c_str(), message.ptr()),
        0);
    EXPECT_TRUE(platform::FileExists(dir.path() + "/q"));
    varnel.unload(); // releasing the queues writes their files
    EXPECT_TRUE(platform::FileExists(dir.path() + "/qTicketsOut.txt"));
}

TEST_F(Connection, ConnectToAnotherDriverMovesTheConnection) {
    ASSERT_EQ(connect(), 0);
    hlsim::Simulator other;
    other.listen();
    OutText message;
    ASSERT_EQ(
        varnel->Connect("127.0.0.1", other.portText().c_str(), folder().c_str(), message.ptr()), 0);
    EXPECT_TRUE(waitFor([&] { return !other.frames().empty(); }));
    EXPECT_EQ(other.frames().front(), Handshake);
    EXPECT_TRUE(waitFor([&] { return !simulator.connected(); }));
}

TEST_F(Connection, UnloadClosesTheConnectionWithItsNotification) {
    ASSERT_EQ(connect(), 0);
    ASSERT_TRUE(waitForNotification(Connected));
    varnel.unload();
    EXPECT_TRUE(waitForNotification(Disconnected));
    EXPECT_TRUE(waitFor([&] { return !simulator.connected(); }));
    for (const char* name : {"TicketsOut.txt", "TicketsIn.txt", "Nodes.txt", "WakeUps.txt",
                             "RoomStates.txt", "CheckIns.txt", "CheckOuts.txt", "PhoneAllocs.txt",
                             "Modifications.txt", "FullReinits.txt", "PartReinits.txt"})
        EXPECT_TRUE(platform::FileExists(queueFile(name))) << name; // saved at the release
    // Loaded again, the library starts from scratch.
    varnel.load();
    EXPECT_EQ(varnel->IsDrvConnected(), -1);
    EXPECT_EQ(connect(), 0);
    EXPECT_EQ(simulator.connectionCount(), 2);
}

class ConnectionDrop : public LinkTest {
protected:
    ConnectionDrop() : LinkTest({{"CONNECT_WAIT_MS", "1500"}, {"SEND_CONNECT_WAIT_MS", "500"}}) {}
};

TEST_F(ConnectionDrop, PeerCloseIsReportedOnceAndNeedsDisconnectBeforeConnect) {
    ASSERT_EQ(connect(), 0);
    simulator.closeConnection();
    ASSERT_TRUE(waitFor([&] { return varnel->IsDrvConnected() == -1; }));
    ASSERT_TRUE(waitForNotification(Disconnected));
    platform::Sleep(200); // time for a second report, which must not come
    EXPECT_EQ(notifications.count(Disconnected), 1u);

    // The transport stays active after a drop: Connect alone cannot start a new attempt.
    const uint32_t start = platform::TickCount();
    EXPECT_EQ(connect(), -8);
    EXPECT_GE(platform::TicksSince(start), 1400u);
    EXPECT_EQ(simulator.connectionCount(), 1);

    EXPECT_EQ(varnel->Disconnect(), 1);
    EXPECT_EQ(connect(), 0);
    EXPECT_EQ(varnel->IsDrvConnected(), 0);
    EXPECT_EQ(simulator.connectionCount(), 2);
}

class KeepAliveTest : public LinkTest {
protected:
    KeepAliveTest() : LinkTest({{"KEEPALIVE_MS", "150"}, {"ANSWER_WAIT_MS", "1000"}}) {}
};

TEST_F(KeepAliveTest, SentWhileConnectedAndNotAfterDisconnect) {
    ASSERT_EQ(connect(), 0);
    ASSERT_TRUE(waitFor([&] { return KeepAlives(simulator) >= 3; }));
    EXPECT_EQ(simulator.frames().front(), Handshake);

    EXPECT_EQ(varnel->Disconnect(), 1);
    // Frames sent before the close reach the simulator before the close does.
    ASSERT_TRUE(waitFor([&] { return !simulator.connected(); }));
    const size_t before = KeepAlives(simulator);
    // A command after Disconnect reconnects the transport, which starts the timer again;
    // its ticks during the command's unanswered wait (1000 ms) still send nothing.
    simulator.setReply("D", "*", {});
    OutText message;
    EXPECT_EQ(varnel->CheckOut("101", message.ptr(), 1), -2);
    EXPECT_EQ(message.str(), "Timeout");
    EXPECT_EQ(simulator.countFrames('D'), 1u);
    EXPECT_EQ(simulator.connectionCount(), 2);
    platform::Sleep(500);
    EXPECT_EQ(KeepAlives(simulator), before);

    // A Connect that does not fail turns them on again.
    EXPECT_EQ(varnel->Disconnect(), 1);
    ASSERT_EQ(connect(), 0);
    EXPECT_TRUE(waitFor([&] { return KeepAlives(simulator) >= before + 2; }));
}

TEST_F(KeepAliveTest, RunsAgainWhenConnectFindsTheLinkUpAfterACommandReconnectedIt) {
    ASSERT_EQ(connect(), 0);
    EXPECT_EQ(varnel->Disconnect(), 1);
    ASSERT_TRUE(waitFor([&] { return !simulator.connected(); }));
    // The command connects the transport again (and is answered)...
    OutText message;
    EXPECT_EQ(varnel->CheckOut("101", message.ptr(), 1), 0) << message.str();
    EXPECT_EQ(simulator.connectionCount(), 2);
    // ...so Connect finds the link up and returns at once; keep-alives must follow.
    ASSERT_EQ(connect(), 0);
    const size_t before = KeepAlives(simulator);
    EXPECT_TRUE(waitFor([&] { return KeepAlives(simulator) >= before + 2; }));
}
