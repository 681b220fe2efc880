// The modem conversation against the simulated modem: which command lines reach
// the modem in which order, pauses, how answers are judged, and which failure a
// conversation reports.
#include "modem_driver.h"

#include "simulated_modem.h"

#include "rtl/log_sinks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using modem_sim::ModemBehaviour;
using rtl::LogLevel;
using rtl::Ref;
using tellum::IResult;
using tellum::TModemDriver;

using Lines = std::vector<std::string>;

enum class Operation { Lock, Unlock };

struct ConversationCase {
    const char* name;
    ModemBehaviour behaviour;
    std::map<std::string, std::string> keys; // of the "mod_tellum" section
    Operation operation;
    Lines received;      // command lines the modem gets, in order
    const char* failure; // the result's message, or nullptr for success
};

void PrintTo(const ConversationCase& c, std::ostream* os) {
    *os << c.name;
}

ModemBehaviour Echoing() {
    return {};
}
ModemBehaviour With(void (*change)(ModemBehaviour&)) {
    ModemBehaviour b;
    change(b);
    return b;
}

class Conversation : public testing::TestWithParam<ConversationCase> {};

TEST_P(Conversation, SendsTheLinesAndReportsTheOutcome) {
    const ConversationCase& c = GetParam();
    SimulatedModem modem(c.behaviour);
    for (const auto& [key, value] : c.keys)
        modem.section->set(key, value);

    Ref<IResult> result;
    {
        auto driver = rtl::MakeRef<TModemDriver>(modem.section);
        if (c.operation == Operation::Lock)
            driver->lock("204", result);
        else
            driver->unlock("204", result);
    }
    ASSERT_TRUE(result);
    ASSERT_TRUE(modem.sim.waitForLines(c.received.size(), std::chrono::seconds(20)));
    EXPECT_EQ(modem.sim.commandLines(), c.received);
    EXPECT_EQ(result->failed(), c.failure != nullptr);
    EXPECT_EQ(result->message(), c.failure ? c.failure : "");
}

const char* const kNumeric = "The modem send error respond: 0, expected respond: OK";
const char* const kRefused = "The modem send error respond: ERROR, expected respond: OK";

INSTANTIATE_TEST_SUITE_P(
    Shapes, Conversation,
    testing::Values(
        ConversationCase{"OneCommand",
                         Echoing(),
                         {{"unlock_command_line", "X1"}},
                         Operation::Unlock,
                         {"AT", "X1", "ATH"},
                         nullptr},
        ConversationCase{"SetUpStringsInOrderEmptyOneSkipped",
                         Echoing(),
                         {{"unlock_command_line", "X1"},
                          {"modem_config_str_1", "ATE1"},
                          {"modem_config_str_2", ""},
                          {"modem_config_str_3", "ATS0=0"}},
                         Operation::Unlock,
                         {"AT", "ATE1", "ATS0=0", "X1", "ATH"},
                         nullptr},
        ConversationCase{"LockRunsTheLockLineWithTheLineTwice",
                         Echoing(),
                         {{"lock_command_line", "B\\n,\\n#"}, {"unlock_command_line", "U\\n"}},
                         Operation::Lock,
                         {"AT", "B204,204#", "ATH"},
                         nullptr},
        ConversationCase{"CommandsSplitAtEveryMarker",
                         Echoing(),
                         {{"unlock_command_line", "A\\n\\pB\\p\\pC"}},
                         Operation::Unlock,
                         {"AT", "A204", "B", "C", "ATH"},
                         nullptr},
        ConversationCase{"AnswerToTheHangUpIsNotJudged",
                         With([](ModemBehaviour& b) {
                             b.answers = {{"ATH", "NO CARRIER"}};
                         }),
                         {{"unlock_command_line", "X1"}},
                         Operation::Unlock,
                         {"AT", "X1", "ATH"},
                         nullptr},
        ConversationCase{"ErrorToACommandOfTheLineFailsAndHangsUp",
                         With([](ModemBehaviour& b) {
                             b.answers = {{"B", "ERROR"}};
                         }),
                         {{"unlock_command_line", "A\\pB\\p"}},
                         Operation::Unlock,
                         {"AT", "A", "B", "ATH"},
                         "The modem answered \"ERROR\" to the command line: "
                         "A<0D><0D><0A>OK<0D><0A>B<0D><0D><0A>ERROR<0D><0A>"},
        ConversationCase{"NumericErrorWithoutEchoFails",
                         With([](ModemBehaviour& b) {
                             b.echo = false;
                             b.answers = {{"X1", "4"}};
                         }),
                         {{"lock_command_line", "X1"}},
                         Operation::Lock,
                         {"AT", "X1", "ATH"},
                         "The modem answered \"4\" to the command line: <0D><0A>4<0D><0A>"},
        ConversationCase{"LowerCaseOk",
                         With([](ModemBehaviour& b) { b.okText = "ok"; }),
                         {{"unlock_command_line", "X1"}, {"modem_config_str_1", "ATE1"}},
                         Operation::Unlock,
                         {"AT", "ATE1", "X1", "ATH"},
                         nullptr},
        ConversationCase{"NoEcho",
                         With([](ModemBehaviour& b) { b.echo = false; }),
                         {{"unlock_command_line", "X1"}, {"modem_config_str_1", "ATE0"}},
                         Operation::Unlock,
                         {"AT", "ATE0", "X1", "ATH"},
                         nullptr},
        ConversationCase{"NumericAnswersFailAtTheFirstCommandWithoutHangUp",
                         With([](ModemBehaviour& b) { b.okText = "0"; }),
                         {{"unlock_command_line", "X1"}},
                         Operation::Unlock,
                         {"AT"},
                         kNumeric},
        ConversationCase{"RefusedSetUpStringSkipsTheLineButHangsUp",
                         With([](ModemBehaviour& b) {
                             b.answers = {{"ATE1", "ERROR"}};
                         }),
                         {{"unlock_command_line", "X1"},
                          {"modem_config_str_1", "ATE1"},
                          {"modem_config_str_2", "ATV1"}},
                         Operation::Unlock,
                         {"AT", "ATE1", "ATH"},
                         kRefused},
        ConversationCase{"FailedHangUpIsTheOneReported",
                         With([](ModemBehaviour& b) {
                             b.answers = {{"ATE1", "ERROR"}};
                             b.silentOn = {"ATH"};
                         }),
                         {{"unlock_command_line", "X1"},
                          {"modem_config_str_1", "ATE1"},
                          {"read_time_out", "600"}},
                         Operation::Unlock,
                         {"AT", "ATE1", "ATH"},
                         "Read timeout."},
        ConversationCase{"SilentModem",
                         With([](ModemBehaviour& b) { b.silent = true; }),
                         {{"unlock_command_line", "X1"}, {"read_time_out", "300"}},
                         Operation::Unlock,
                         {"AT"},
                         "Read timeout."},
        ConversationCase{"AnswerWithoutLineFeed",
                         With([](ModemBehaviour& b) { b.lineEnd = "\r"; }),
                         {{"lock_command_line", "X1"}, {"read_time_out", "800"}},
                         Operation::Lock,
                         {"AT"},
                         "Read timeout."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConversationTiming, EmptyCommandsArePausesOfOneSecond) {
    const struct {
        const char* commandLine;
        Lines received;
        const char* pauseAfter; // the command line after which the pause comes
    } cases[] = {
        {"A\\p\\pB", {"AT", "A", "B", "ATH"}, "A"}, // between two markers
        {"A\\p", {"AT", "A", "ATH"}, "A"},          // at the end, before the hang-up
        {"\\pA", {"AT", "A", "ATH"}, "AT"},         // at the start, after "AT"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        SimulatedModem modem;
        modem.section->set("unlock_command_line", c.commandLine);
        Ref<IResult> result;
        rtl::MakeRef<TModemDriver>(modem.section)->unlock("204", result);
        EXPECT_FALSE(result->failed()) << result->message();
        ASSERT_TRUE(modem.sim.waitForLines(c.received.size(), std::chrono::seconds(20)));
        EXPECT_EQ(modem.sim.commandLines(), c.received);
        // Measured where the modem sees the lines, so allow for its own scheduling.
        EXPECT_GE(modem.gapAfter(c.pauseAfter), 950);
    }
}

TEST(ConversationTiming, UnusableReadTimeOutGivesFiveSeconds) {
    SimulatedModem modem(With([](ModemBehaviour& b) { b.silent = true; }));
    modem.section->set("unlock_command_line", "X1");
    modem.section->set("read_time_out", "abc");
    Ref<IResult> result;
    auto driver = rtl::MakeRef<TModemDriver>(modem.section);
    const auto start = std::chrono::steady_clock::now();
    driver->unlock("204", result);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_EQ(result->message(), "Read timeout.");
    EXPECT_GE(ms, 5000);
    EXPECT_LT(ms, 30000);
}

TEST(ConversationLog, ShowsEveryCommandAndAnswerInPrintableForm) {
    SimulatedModem modem;
    modem.section->set("unlock_command_line", "X\\n");
    rtl::LogCapture log(LogLevel::Debug);
    Ref<IResult> result;
    rtl::MakeRef<TModemDriver>(modem.section)->unlock("204", result);
    ASSERT_FALSE(result->failed()) << result->message();

    EXPECT_EQ(log.texts(LogLevel::Debug, "TModemDriver"),
              (Lines{
                  "Sending command: AT<0D>",
                  "Readed data: AT<0D><0D><0A>OK<0D><0A>",
                  "Sending command: X204<0D>",
                  // Judged once the line's commands are out, before the hang-up.
                  "Readed data: X204<0D><0D><0A>OK<0D><0A>",
                  "Sending command: ATH<0D>",
                  "Readed data: ATH<0D><0D><0A>OK<0D><0A>",
              }));
    EXPECT_TRUE(log.texts(LogLevel::Error).empty()) << log.dump();
}

TEST(ConversationLog, FailureIsLoggedWithWhatCameSoFar) {
    SimulatedModem modem(With([](ModemBehaviour& b) { b.lineEnd = "\r"; }));
    modem.section->set("unlock_command_line", "X1");
    modem.section->set("read_time_out", "500");
    rtl::LogCapture log(LogLevel::Debug);
    Ref<IResult> result;
    rtl::MakeRef<TModemDriver>(modem.section)->unlock("204", result);

    EXPECT_EQ(result->message(), "Read timeout.");
    EXPECT_TRUE(log.contains(LogLevel::Debug, "TModemDriver", "Readed data: AT<0D><0D>OK<0D>"))
        << log.dump();
    EXPECT_EQ(log.texts(LogLevel::Error, "TModemDriver"),
              Lines{"Send command line error: Read timeout."});
}

TEST(ConversationFault, ALineThatVanishesMidConversationFailsTheOperation) {
    SimulatedModem modem(With([](ModemBehaviour& b) { b.silentOn = {"ATE1"}; }));
    modem.section->set("unlock_command_line", "X1");
    modem.section->set("modem_config_str_1", "ATE1");
    modem.section->set("read_time_out", "20000");
    auto driver = rtl::MakeRef<TModemDriver>(modem.section);
    Ref<IResult> result;
    std::thread conversation([&] { driver->unlock("204", result); });
    // The modem goes away while the driver waits for the answer to ATE1.
    const bool reached = modem.sim.waitForLines(2, std::chrono::seconds(20));
    modem.sim.stop();
    conversation.join();
    ASSERT_TRUE(reached);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->failed());
    EXPECT_NE(result->message().find("for " + modem.path() + "\r\n"), std::string::npos)
        << result->message();
    EXPECT_NE(result->message().find("Input/output error (5)"), std::string::npos)
        << result->message();
}

TEST(CommandLineMissing, FailsWithoutWritingAnything) {
    for (const Operation operation : {Operation::Lock, Operation::Unlock}) {
        SCOPED_TRACE(operation == Operation::Lock ? "lock" : "unlock");
        SimulatedModem modem;
        modem.section->set("unlock_command_line", operation == Operation::Lock ? "X1" : "");
        rtl::LogCapture log;
        Ref<IResult> result;
        {
            auto driver = rtl::MakeRef<TModemDriver>(modem.section);
            if (operation == Operation::Lock)
                driver->lock("204", result);
            else
                driver->unlock("204", result);
        }
        EXPECT_TRUE(result->failed());
        EXPECT_EQ(result->message(), "Command line is not defined.");
        EXPECT_EQ(log.texts(LogLevel::Error, "TModemDriver"),
                  Lines{"Send command line error: Command line is not defined."});
        EXPECT_TRUE(log.texts(LogLevel::Trace, "TRS232Stream").empty()) << log.dump();
        EXPECT_EQ(modem.sim.receivedBytes(), "");
    }
}

TEST(CommandLineSplit, MarkersArePlainTwoCharacterTexts) {
    const struct {
        const char* commandLine;
        Lines commands;
    } cases[] = {
        {"X", {"X"}},
        {"\\n", {"77"}},
        {"A\\p\\pB", {"A", "", "B"}},
        {"\\p", {"", ""}},
        {"A\\pB\\p", {"A", "B", ""}},
        {" A \\p  \\pB", {" A ", "  ", "B"}}, // blanks are commands, not pauses
        {"A\nB\\P", {"A\nB\\P"}},             // a real line feed and "\P" are no markers
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        EXPECT_EQ(TModemDriver::SplitCommandLine(c.commandLine, "77"), c.commands);
    }
}

} // namespace
