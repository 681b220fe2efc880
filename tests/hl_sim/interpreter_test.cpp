// The simulator and its command language against a real loopback client playing the
// link library's side.
#include "hlsim/command_interpreter.h"
#include "hlsim/simulator.h"

#include "platform/event_loop.h"
#include "platform/tcp_client.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace hlsim;

namespace {

// The link's side: a TCP client that records what the simulator sends. It acknowledges
// nothing, so the simulator runs free unless a test paces it.
class LinkSide : public ::testing::Test {
protected:
    LinkSide() {
        simulator.listen();
        simulator.setPacing(Pacing::FreeRunning);
        client.setEvents({{}, {}, {}, [this] { received += client.takeReceived(); }});
        client.setHost("127.0.0.1");
        client.setPort(simulator.portText());
        client.activate();
        EXPECT_TRUE(platform::WaitUntil([&] { return simulator.connected(); }, 20000));
    }

    bool run(const std::string& line) { return interpreter.execute(line); }
    bool receivedAtLeast(size_t n) {
        return platform::WaitUntil([&] { return received.size() >= n; }, 20000);
    }

    Simulator simulator;
    platform::TcpClient client;
    std::string received;
    std::vector<std::string> printed;
    CommandInterpreter interpreter{simulator,
                                   [this](const std::string& l) { printed.push_back(l); }};
};

const std::string CheckOut101 = "\x02"
                                "D     10154\x03";

} // namespace

TEST_F(LinkSide, AcknowledgesAndAnswersByRule) {
    client.send(CheckOut101);
    ASSERT_TRUE(receivedAtLeast(1 + 19));
    EXPECT_EQ(received, "\x06" + AnswerFrame("101", 'O')); // default: accept

    received.clear();
    run("on D 101 answer P A code=1234 ; pause 30 ; event roomstatus room=$room status=2");
    run("ack nak");
    client.send(CheckOut101);
    ASSERT_TRUE(receivedAtLeast(1 + 19 + 17));
    EXPECT_EQ(received, "\x15" + AnswerFrame("101", 'P', 'A', "1234") +
                            BuildFrame("roomstatus", {{"room", "101"}, {"status", "2"}}));

    received.clear();
    run("ack off");
    run("on D 101 none"); // replaces the rule for 101 (it would win over "D *")
    client.send(CheckOut101);
    run("wait D 101 timeout=20000");
    EXPECT_EQ(printed.back(), "got check-out request room=101");
    platform::Sleep(100);
    EXPECT_EQ(received, "");
    EXPECT_EQ(simulator.frames().back(), CheckOut101);
}

TEST_F(LinkSide, SendsEventsWholeJoinedSplitOrRaw) {
    const std::string a = BuildFrame("checkout", {{"room", "101"}});
    const std::string b = BuildFrame("node", {{"id", "N001"}});
    run("write split 4 gap=1");
    run("send checkout room=101 ; node id=N001");
    ASSERT_TRUE(receivedAtLeast(a.size() + b.size()));
    EXPECT_EQ(received, a + b);
    received.clear();
    run("pace ack resend=20000");
    run("write joined");
    run("raw <STX> 'J' 41 <ETX> 06");
    ASSERT_TRUE(receivedAtLeast(6));
    EXPECT_EQ(received, "\x02'J'A\x03\x06");
    run("close");
    EXPECT_TRUE(platform::WaitUntil([&] { return !client.connected(); }, 20000));
}

TEST_F(LinkSide, WaitTimesOutAndBadCommandsNameTheWord) {
    run("wait A timeout=50");
    EXPECT_EQ(printed.back(), "** wait A *: nothing within 50 ms");
    EXPECT_FALSE(run("quit"));
    struct Case {
        std::string line;
        std::string inMessage;
    };
    for (const Case& c :
         {Case{"jump", "\"jump\""}, Case{"on X 101 answer I", "\"X\""},
          Case{"on A 101 answer II", "\"II\""}, Case{"ack maybe", "\"maybe\""},
          Case{"send ticket room=1", "\"room\""}, Case{"pause soon", "\"soon\""},
          Case{"write split x", "\"x\""}, Case{"on A 101 event nothing", "\"nothing\""},
          Case{"print \"open", "unterminated"}, Case{"pace slow", "pace takes"},
          Case{"pace ack resend=soon", "\"soon\""}, Case{"repeat many send node id=1", "\"many\""},
          Case{"repeat 2", "repeat takes"}, Case{"repeat 2 send colour=1", "\"colour=1\""}}) {
        SCOPED_TRACE(c.line);
        try {
            run(c.line);
            ADD_FAILURE();
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(c.inMessage), std::string::npos) << e.what();
        }
    }
}

std::string Times(const std::string& text, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i)
        out += text;
    return out;
}

TEST_F(LinkSide, PacedFramesWaitForTheAcknowledgementAndAreSentAgainWithoutIt) {
    const std::string a = BuildFrame("checkout", {{"room", "101"}});
    const std::string b = BuildFrame("checkout", {{"room", "102"}});
    run("pace ack resend=100 resends=1000");
    run("send checkout room=101 ; checkout room=102");
    // Without an acknowledgement the first frame goes again, and the second waits.
    ASSERT_TRUE(receivedAtLeast(2 * a.size()));
    EXPECT_GE(simulator.framesResent(), 1u);
    EXPECT_EQ(received, Times(a, received.size() / a.size()));
    client.send("\x06");
    ASSERT_TRUE(platform::WaitUntil([&] { return received.find(b) != std::string::npos; }, 20000));
    EXPECT_EQ(received.substr(received.size() - b.size()), b);
    EXPECT_EQ(simulator.framesSent(), 2u);

    // The frames of one joined write wait for as many acknowledgements.
    client.send("\x06");
    ASSERT_TRUE(platform::WaitUntil([&] { return !simulator.sending(); }, 20000));
    received.clear();
    run("pace ack resend=20000");
    run("write joined");
    run("send checkout room=101 ; checkout room=102");
    run("send checkout room=103");
    ASSERT_TRUE(receivedAtLeast(a.size() + b.size()));
    client.send("\x06");
    platform::Sleep(50); // time for a wrong early send
    EXPECT_EQ(received.substr(0, a.size() + b.size()), a + b);
    EXPECT_EQ(received.find(BuildFrame("checkout", {{"room", "103"}})), std::string::npos);
    client.send("\x06");
    EXPECT_TRUE(platform::WaitUntil(
        [&] {
            return received.find(BuildFrame("checkout", {{"room", "103"}})) != std::string::npos;
        },
        20000));
}

TEST_F(LinkSide, AFrameNeverAcknowledgedIsGivenUpAfterItsResends) {
    const std::string a = BuildFrame("checkout", {{"room", "101"}});
    const std::string c = BuildFrame("checkout", {{"room", "103"}});
    run("pace ack resend=50 resends=2");
    run("send checkout room=101 ; checkout room=103");
    ASSERT_TRUE(platform::WaitUntil([&] { return simulator.framesGivenUp() == 1; }, 20000));
    ASSERT_TRUE(receivedAtLeast(3 * a.size() + c.size()));
    EXPECT_EQ(received.substr(0, 3 * a.size() + c.size()), Times(a, 3) + c);
    EXPECT_GE(simulator.framesResent(), 2u);
}

TEST_F(LinkSide, RepeatRunsACommandWithItsNumber) {
    run("repeat 3 send checkout room=10$n");
    const std::string expected = BuildFrame("checkout", {{"room", "101"}}) +
                                 BuildFrame("checkout", {{"room", "102"}}) +
                                 BuildFrame("checkout", {{"room", "103"}});
    ASSERT_TRUE(receivedAtLeast(expected.size()));
    EXPECT_EQ(received, expected);
}

TEST_F(LinkSide, ANewConnectionReplacesTheOldOne) {
    platform::TcpClient second;
    second.setHost("127.0.0.1");
    second.setPort(simulator.portText());
    second.activate();
    ASSERT_TRUE(platform::WaitUntil([&] { return simulator.connectionCount() == 2; }, 20000));
    EXPECT_TRUE(platform::WaitUntil([&] { return !client.connected(); }, 20000));
    EXPECT_TRUE(simulator.connected());
    second.send(CheckOut101);
    EXPECT_TRUE(platform::WaitUntil([&] { return simulator.requests().size() == 1; }, 20000));
}

TEST(SplitWords, QuotesEscapesSeparatorsAndComments) {
    EXPECT_EQ(SplitWords(R"(send checkin name="JOHN SMITH";checkout room=1 # note)"),
              (std::vector<std::string>{"send", "checkin", "name=JOHN SMITH", ";", "checkout",
                                        "room=1"}));
    EXPECT_EQ(SplitWords(R"(raw "\x02a\"b\\" "")"), (std::vector<std::string>{"raw",
                                                                              "\x02"
                                                                              "a\"b\\",
                                                                              ""}));
    EXPECT_TRUE(SplitWords("   # only a comment").empty());
}
