#include "modem_sim/modem_simulator.h"

#include "modem_client.h"

#include "platform/error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ostream>

using modem_sim::ModemBehaviour;
using modem_sim::ModemSimulator;
using namespace std::chrono;

namespace {

constexpr milliseconds kLong = seconds(20);

struct AnswerCase {
    const char* name;
    ModemBehaviour behaviour;
    const char* command;
    std::string reply; // every byte the modem sends back
    milliseconds wait; // how long the client listens when no line feed ends the reply
};

ModemBehaviour With(void (*change)(ModemBehaviour&)) {
    ModemBehaviour b;
    change(b);
    return b;
}

// Test listings name a row by its name, not by its bytes.
void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << c.name;
}

class Answers : public testing::TestWithParam<AnswerCase> {};

TEST_P(Answers, ComeBackOverTheSerialPort) {
    const AnswerCase& c = GetParam();
    ModemSimulator modem(c.behaviour);
    ModemClient client(modem.slavePath());
    EXPECT_EQ(client.command(c.command, c.wait), c.reply);
    ASSERT_TRUE(modem.waitForLines(1, kLong));
    EXPECT_EQ(modem.commandLines(), std::vector<std::string>{c.command});
}

INSTANTIATE_TEST_SUITE_P(
    Behaviours, Answers,
    testing::Values(AnswerCase{"EchoAndOk", {}, "AT", "AT\r\r\nOK\r\n", kLong},
                    AnswerCase{"NoEcho", With([](ModemBehaviour& b) { b.echo = false; }), "AT",
                               "\r\nOK\r\n", kLong},
                    AnswerCase{"LowerCase", With([](ModemBehaviour& b) { b.okText = "ok"; }), "ATZ",
                               "ATZ\r\r\nok\r\n", kLong},
                    AnswerCase{"Numeric", With([](ModemBehaviour& b) { b.okText = "0"; }), "AT",
                               "AT\r\r\n0\r\n", kLong},
                    AnswerCase{"ScriptedError",
                               With([](ModemBehaviour& b) { b.answers["ATS0=1"] = "ERROR"; }),
                               "ATS0=1", "ATS0=1\r\r\nERROR\r\n", kLong},
                    AnswerCase{"ScriptOnlyForItsLine",
                               With([](ModemBehaviour& b) { b.answers["ATS0=1"] = "ERROR"; }),
                               "ATS0=2", "ATS0=2\r\r\nOK\r\n", kLong},
                    AnswerCase{"NoLineFeed", With([](ModemBehaviour& b) { b.lineEnd = "\r"; }),
                               "AT", "AT\r\rOK\r", milliseconds(3000)},
                    AnswerCase{"SilentOnALine",
                               With([](ModemBehaviour& b) { b.silentOn.insert("ATH"); }), "ATH",
                               "ATH\r", milliseconds(3000)},
                    AnswerCase{"Silent", With([](ModemBehaviour& b) { b.silent = true; }), "AT", "",
                               milliseconds(3000)}),
    [](const testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST(ModemSimulator, RecordsEveryLineHoweverItsBytesArrive) {
    ModemSimulator modem(With([](ModemBehaviour& b) { b.echo = false; }));
    ModemClient client(modem.slavePath());
    client.send("ATZ\rATDT204\r"); // back to back in one write
    for (const char c : std::string("ATH\r"))
        client.send(std::string(1, c)); // one byte at a time
    client.send("AT\x01X\nY\r");        // control bytes stay in the line
    client.send("AT");                  // not ended: no line yet
    ASSERT_TRUE(modem.waitForLines(4, kLong));
    EXPECT_EQ(modem.commandLines(),
              (std::vector<std::string>{"ATZ", "ATDT204", "ATH", "AT\x01X\nY"}));
    // The unfinished command shows in the bytes received.
    const std::string all = "ATZ\rATDT204\rATH\rAT\x01X\nY\rAT";
    const auto deadline = steady_clock::now() + kLong;
    while (modem.receivedBytes() != all && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(5));
    EXPECT_EQ(modem.receivedBytes(), all);
    EXPECT_EQ(modem_sim::Printable("AT\x01X\nY\r"), "AT<01>X<0A>Y<0D>");
}

TEST(ModemSimulator, ServesOneUserAfterAnotherWithTheBehaviourOfTheMoment) {
    ModemSimulator modem;
    {
        ModemClient first(modem.slavePath());
        EXPECT_EQ(first.command("AT"), "AT\r\r\nOK\r\n");
        // An answer the first user leaves unread must not reach the next one.
        first.send("ATI\r");
        const auto deadline = steady_clock::now() + kLong;
        while (first.port.clearError().inQueue < 10 && steady_clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(5));
        ASSERT_EQ(first.port.clearError().inQueue, 10u); // "ATI\r\r\nOK\r\n"
    }
    ModemBehaviour failing;
    failing.answers["AT"] = "ERROR";
    modem.setBehaviour(failing);
    ModemClient second(modem.slavePath());
    EXPECT_EQ(second.command("AT"), "AT\r\r\nERROR\r\n");
    EXPECT_EQ(modem.commandLines(), (std::vector<std::string>{"AT", "ATI", "AT"}));
}

TEST(ModemSimulator, WaitingForLinesEndsOnTimeOutOrWhenTheyCome) {
    ModemSimulator modem;
    const auto start = steady_clock::now();
    EXPECT_FALSE(modem.waitForLines(1, milliseconds(200)));
    EXPECT_GE(steady_clock::now() - start, milliseconds(200));

    ModemClient client(modem.slavePath());
    std::thread user([&client] { client.send("AT\rATH\r"); });
    EXPECT_TRUE(modem.waitForLines(2, kLong));
    user.join();
}

TEST(ModemSimulator, StopsWhileItsAnswersPileUpUnreadAndTheUserSeesAHungUpLine) {
    ModemSimulator modem;
    ModemClient client(modem.slavePath());
    // The echo of a large block fills the line towards the user, who never reads:
    // the simulator is then stuck handing bytes on, and must stop all the same.
    client.port.setTimeouts({300, 50, 300, 0, 500}); // the write gives up
    const std::string block(256 * 1024, 'A');
    client.send(block);
    const auto deadline = steady_clock::now() + kLong;
    while (modem.receivedBytes().empty() && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(5));
    modem.stop();
    modem.stop();

    std::string rest(8192, '\0');
    const auto readEnd = steady_clock::now() + kLong;
    try {
        while (steady_clock::now() < readEnd)
            client.port.read(rest.data(), rest.size()); // drains what came, then fails
        ADD_FAILURE() << "the line still reads as up";
    } catch (const platform::Error& e) {
        EXPECT_EQ(e.code(), EIO) << e.what();
    }
}

} // namespace
