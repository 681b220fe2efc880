// The hotel commands through the C interface: request bytes on the wire, the mapping
// of the driver's answers, waits, the phone-allocation follow-up and re-initialisation.
#include "link_fixture.h"

#include "hlsim/frames.h"
#include "platform/event_loop.h"
#include "platform/tick_count.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace varnel_test;
using hlsim::AnswerStep;
using hlsim::EventStep;
using hlsim::PauseStep;

namespace {

class Commands : public LinkTest {
protected:
    explicit Commands(const VarnelLibrary::Settings& settings = {}) : LinkTest(settings) {}
    void SetUp() override { ASSERT_EQ(connect(), 0); }

    // The last request the simulator received with that letter.
    std::string lastRequest(char letter) {
        EXPECT_TRUE(waitFor([&] { return simulator.countFrames(letter) > 0; }));
        for (auto it = simulator.frames().rbegin(); it != simulator.frames().rend(); ++it)
            if ((*it)[1] == letter)
                return *it;
        return {};
    }
};

} // namespace

TEST_F(Commands, CheckInSendsItsBodyByteForByteAndAcceptsAnswerI) {
    OutText message("old text");
    EXPECT_EQ(varnel->CheckIn("101", "Smith", "2", "1234", message.ptr(), 1), 0);
    EXPECT_EQ(message.str(), "");
    // "A", room right-aligned in 8, blank, name right-aligned in 10, 10 blanks, language,
    // 4 blanks, password, "03", 10 blanks, "000000", checksum 2F (by hand).
    const std::string body = "A     101      SMITH          2    123403          000000";
    EXPECT_EQ(lastRequest('A'), "\x02" + body + "2F\x03");
}

TEST_F(Commands, RequestFieldsOnTheWire) {
    struct Case {
        std::string name;
        std::function<int32_t(char**)> call;
        char letter;
        size_t position; // 1-based in the frame (STX is 1)
        std::string field;
    };
    const auto& v = *varnel;
    const std::vector<Case> cases = {
        {"Cyrillic name transliterated and cut",
         [&](char** m) {
             return v.CheckIn("101", "\xC0\xEB\xE5\xEA\xF1\xE0\xED\xE4\xF0\xEE\xE2\xE0", "2", "1",
                              m, 1);
         },
         'A', 12, "ALEKSANDRO"},
        {"control bytes in a name become blanks",
         [&](char** m) { return v.SetName("101", "Sm\x02th\x03", m, 1); }, 'M', 12, "    SM TH "},
        {"barring 3", [&](char** m) { return v.SetBarring("101", "3", m, 1); }, 'M', 41, "03"},
        {"wake-up 07:30", [&](char** m) { return v.SetWakeUpTime("101", "07:30", m, 1); }, 'M', 53,
         "0730"},
        {"wake-up 7:30", [&](char** m) { return v.SetWakeUpTime("101", "7:30", m, 1); }, 'M', 53,
         "1200"},
        {"stop wake-up", [&](char** m) { return v.StopWakeUp("101", m, 1); }, 'M', 57, "0 "},
        {"do not disturb", [&](char** m) { return v.SetDoNotDistrib("101", "1", m, 1); }, 'M', 58,
         "1"},
        {"language", [&](char** m) { return v.SetLanguage("101", "3", m, 1); }, 'M', 32, "3"},
        {"password", [&](char** m) { return v.SetPassword("101", "9876", m, 1); }, 'M', 37, "9876"},
        {"check-out", [&](char** m) { return v.CheckOut("101", m, 1); }, 'D', 3, "     10154"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        simulator.clearReceived();
        OutText message;
        EXPECT_EQ(c.call(message.ptr()), 0) << message.str();
        const std::string frame = lastRequest(c.letter);
        EXPECT_EQ(frame.size(), c.letter == 'D' ? 13u : 61u);
        EXPECT_EQ(frame.substr(c.position - 1, c.field.size()), c.field);
        EXPECT_EQ(simulator.frames().size(), 1u); // nothing injected
    }
}

TEST_F(Commands, ResultsOfTheDriversAnswers) {
    struct Case {
        std::string name;
        std::string type; // request type the reply is for
        char answer;
        char reason;
        int32_t result;
        std::string message;
    };
    const std::string q = "Unreachable database (the PBX doesn\x92t answer)";
    const std::vector<Case> cases = {
        {"CheckIn accepted", "A", 'I', ' ', 0, ""},
        {"CheckIn R", "A", 'J', 'R', 1, "Invalid room extension number (not used)"},
        {"CheckIn A", "A", 'J', 'A', 2, "Room already allocated"},
        {"CheckIn Q", "A", 'J', 'Q', 3, q},
        {"CheckIn T", "A", 'J', 'T', 4, "Other"},
        {"CheckIn unmapped G", "A", 'J', 'G', -3, "Invalid number"},
        {"CheckIn blank reason", "A", 'J', ' ', -3, "System error"},
        {"CheckIn other letter", "A", 'M', ' ', -3, "System error"},
        {"CheckIn blank answer", "A", ' ', ' ', -3, "System error"},
        {"CheckOut accepted", "D", 'O', ' ', 0, ""},
        {"CheckOut A", "D", 'P', 'A', 2, "Room not checked-in"},
        {"CheckOut T", "D", 'P', 'T', 4, "Other"},
        {"CheckOut unmapped U", "D", 'P', 'U', -3, "Unavailable room extension"},
        {"SetName accepted", "M", 'M', ' ', 0, ""},
        {"SetName R", "M", 'N', 'R', 1, "Invalid room extension number (not used)"},
        {"SetName A", "M", 'N', 'A', 2, "Room not checked-in"},
        {"SetName P", "M", 'N', 'P', 3, "Invalid or unavailable guest password"},
        {"SetName Q", "M", 'N', 'Q', 4, q},
        {"SetName T", "M", 'N', 'T', 5, "Other"},
        {"SetName unmapped K", "M", 'N', 'K', -3, "Wrong message"},
        {"AllocatePhone R", "H", 'B', 'R', 1, "Invalid room extension number (not used)"},
        {"AllocatePhone Q", "H", 'B', 'Q', 2, q},
        {"AllocatePhone T", "H", 'B', 'T', 3, "Other"},
        {"AllocatePhone unmapped A", "H", 'B', 'A', -3, "Room already allocated"},
        {"AllocatePhone other letter", "H", 'I', ' ', -3, "System error"},
        {"Interrogation accepted", "I", 'Q', ' ', 0, ""},
        {"Interrogation any letter but R", "I", 'X', ' ', 0, ""},
        {"Interrogation R", "I", 'R', 'R', 1, "Invalid room extension number (not used)"},
        {"Interrogation A", "I", 'R', 'A', 2, "Room not checked-in"},
        {"Interrogation unmapped G", "I", 'R', 'G', -3, "Invalid number"},
        {"FullReinitialize A", "ZF", 'T', 'A', 2, "Room not checked-in"},
        {"FullReinitialize Q", "ZF", 'T', 'Q', 3, q},
        {"FullReinitialize other letter", "ZF", 'I', ' ', -3, "System error"},
        {"PartialReinitialize T", "ZP", 'T', 'T', 4, "Other"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        simulator.clearReplies();
        simulator.setReply(c.type, "101", {AnswerStep(c.answer, c.reason)});
        OutText message;
        OutText phone;
        int32_t result = 0;
        const auto& v = *varnel;
        switch (c.type[0]) {
        case 'A':
            result = v.CheckIn("101", "Smith", "2", "1234", message.ptr(), 1);
            break;
        case 'D':
            result = v.CheckOut("101", message.ptr(), 1);
            break;
        case 'M':
            result = v.SetName("101", "Smith", message.ptr(), 1);
            break;
        case 'H':
            result = v.AllocatePhone("101", phone.ptr(), message.ptr());
            EXPECT_EQ(phone.str(), "");
            break;
        case 'I':
            result = v.Interrogation("101", message.ptr());
            break;
        case 'Z':
            result = c.type == "ZF" ? v.FullReinitialize("101", 1000, message.ptr())
                                    : v.PartialReinitialize("101", 1000, message.ptr());
            break;
        }
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(message.str(), c.message);
    }
}

TEST_F(Commands, AnswerForAnotherRoomIsASystemErrorAtOnce) {
    simulator.setReply("A", "101", {hlsim::AnswerForRoomStep("102", 'I')});
    OutText message;
    const uint32_t start = platform::TickCount();
    EXPECT_EQ(varnel->CheckIn("101", "Smith", "2", "1234", message.ptr(), 1), -3);
    EXPECT_EQ(message.str(), "System error");
    EXPECT_LT(platform::TicksSince(start), 10000u); // the answer wait is 20000 ms here
    // The room is compared as the caller passed it, not padded or upper-cased.
    simulator.setReply("A", "*", {hlsim::AnswerForRoomStep("10a", 'I')});
    EXPECT_EQ(varnel->CheckIn("10A", "Smith", "2", "1234", message.ptr(), 1), -3);
}

TEST_F(Commands, PhoneAllocationEventBeforeOrAfterTheAnswer) {
    struct Case {
        std::string name;
        hlsim::Reply reply;
        int32_t result;
        std::string phone;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"event after the answer",
         {AnswerStep('A'), PauseStep(50),
          EventStep("phone", {{"room", "$room"}, {"phone", "2101"}})},
         0,
         "2101",
         ""},
        {"event before the answer",
         {EventStep("phone", {{"room", "$room"}, {"phone", "2102"}}), PauseStep(50),
          AnswerStep('A')},
         0,
         "2102",
         ""},
        {"event for another room",
         {AnswerStep('A'), EventStep("phone", {{"room", "102"}, {"phone", "2103"}})},
         -3,
         "",
         "System error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        simulator.setReply("H", "101", c.reply);
        OutText phone("old");
        OutText message;
        EXPECT_EQ(varnel->AllocatePhone("101", phone.ptr(), message.ptr()), c.result);
        EXPECT_EQ(phone.str(), c.phone);
        EXPECT_EQ(message.str(), c.message);
    }
    // GetAllocatedPhone asks with "I" in position 11 and reads the reply the same way.
    simulator.clearReplies();
    OutText phone;
    OutText message;
    EXPECT_EQ(varnel->GetAllocatedPhone("101", phone.ptr(), message.ptr()), 0);
    EXPECT_EQ(phone.str(), "101"); // the simulator's default: the room's own number
    EXPECT_EQ(lastRequest('H'),
              "\x02H     101I        " + hlsim::XorChecksum("H     101I        ") + "\x03");
}

TEST_F(Commands, ReinitialisationEndsWithItsEndStatus) {
    struct Case {
        std::string name;
        std::string type;
        hlsim::Reply reply;
        int32_t result;
        std::string message;
    };
    auto full = [](const char* letter, const char* room = "$room") {
        return EventStep("fullreinit", {{"room", room}, {"letter", letter}});
    };
    auto partial = [](const char* letter, const char* room = "$room") {
        return EventStep("partialreinit", {{"room", room}, {"letter", letter}});
    };
    const std::vector<Case> cases = {
        {"full, end at once", "ZF", {full("E")}, 0, ""},
        {"full, going on twice, then the end",
         "ZF",
         {full("F"), PauseStep(50), full("F"), PauseStep(50), full("E")},
         0,
         ""},
        {"partial, going on, then the end",
         "ZP",
         {partial("P"), PauseStep(50), partial("O")},
         0,
         ""},
        {"end status of another room",
         "ZF",
         {full("F"), PauseStep(50), full("E", "102")},
         -3,
         "System error"},
        {"first status of another room", "ZF", {full("E", "102")}, -3, "System error"},
        {"going on, never ending", "ZP", {partial("P")}, -2, "Timeout"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        simulator.setReply(c.type, "101", c.reply);
        OutText message;
        const uint32_t start = platform::TickCount();
        const int32_t result = c.type == "ZF"
                                   ? varnel->FullReinitialize("101", 1000, message.ptr())
                                   : varnel->PartialReinitialize("101", 1000, message.ptr());
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(message.str(), c.message);
        if (c.result == -2) { // ten further waits of WaitTime / 10
            EXPECT_GE(platform::TicksSince(start), 950u);
        }
    }
}

TEST_F(Commands, WaitFalseReturnsAtOnce) {
    simulator.setReply("A", "*", {}); // no answer at all
    OutText message;
    const uint32_t start = platform::TickCount();
    EXPECT_EQ(varnel->CheckIn("101", "Smith", "2", "1234", message.ptr(), 0x100), 0); // low byte 0
    EXPECT_EQ(message.str(), "No wait result");
    EXPECT_LT(platform::TicksSince(start), 10000u);
    EXPECT_EQ(lastRequest('A').size(), 61u);
}

class CommandTimeouts : public Commands {
protected:
    CommandTimeouts()
        : Commands({{"ANSWER_WAIT_MS", "1000"},
                    {"PARTIAL_REINIT_WAIT_MS", "1000"},
                    {"INTERROGATION_WAIT_MS", "300"},
                    {"SEND_CONNECT_WAIT_MS", "300"},
                    {"KEEPALIVE_MS", "100"}}) {}
};

TEST_F(CommandTimeouts, NoAnswer) {
    for (const char* type : {"A", "H", "I", "Z"})
        simulator.setReply(type, "*", {});
    struct Case {
        std::string name;
        char letter; // of the request
        std::function<int32_t(char**)> call;
        int32_t result;
        std::string message;
        uint32_t atLeastMs;
    };
    const auto& v = *varnel;
    const std::vector<Case> cases = {
        {"CheckIn", 'A', [&](char** m) { return v.CheckIn("101", "S", "2", "1", m, 1); }, -2,
         "Timeout", 950},
        {"PartialReinitialize", 'Z',
         [&](char** m) { return v.PartialReinitialize("101", 1000, m); }, -2, "Timeout", 950},
        {"Interrogation", 'I', [&](char** m) { return v.Interrogation("101", m); }, 0, "", 280},
        {"AllocatePhone accepted without the event", 'H',
         [&](char** m) {
             OutText phone;
             return v.AllocatePhone("101", phone.ptr(), m);
         },
         -3, "System error", 950},
    };
    simulator.setReply("H", "*", {AnswerStep('A')});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(waitFor([&] { return simulator.countFrames('$') > 0; })); // keep-alive runs
        simulator.clearReceived();
        OutText message;
        const uint32_t start = platform::TickCount();
        EXPECT_EQ(c.call(message.ptr()), c.result);
        EXPECT_GE(platform::TicksSince(start), c.atLeastMs);
        EXPECT_EQ(message.str(), c.message);
        // No keep-alive between a request and the end of its wait.
        const auto& frames = simulator.frames();
        auto request = std::find_if(frames.begin(), frames.end(),
                                    [&](const std::string& f) { return f[1] == c.letter; });
        ASSERT_NE(request, frames.end());
        EXPECT_EQ(
            std::count_if(request, frames.end(), [](const std::string& f) { return f[1] == '$'; }),
            0);
    }
    // A command that does not wait puts the keep-alive back at once.
    OutText message;
    EXPECT_EQ(varnel->CheckOut("101", message.ptr(), 0), 0);
    EXPECT_EQ(message.str(), "No wait result");
    simulator.clearReceived();
    // The keep-alive runs again afterwards.
    EXPECT_TRUE(waitFor([&] { return simulator.countFrames('$') > 0; }));
}

TEST_F(CommandTimeouts, NotConnectedEndsInTheTimeout) {
    EXPECT_EQ(varnel->Disconnect(), 1);
    simulator.setReply("A", "*", {});
    OutText message;
    // The command reconnects (the transport was inactive), so the request goes out.
    EXPECT_EQ(varnel->CheckIn("101", "S", "2", "1", message.ptr(), 1), -2);
    EXPECT_EQ(message.str(), "Timeout");
    EXPECT_EQ(simulator.countFrames('A'), 1u);
    // After a drop the transport stays active: the request is lost.
    simulator.closeConnection();
    ASSERT_TRUE(waitFor([&] { return varnel->IsDrvConnected() == -1; }));
    EXPECT_EQ(varnel->CheckOut("101", message.ptr(), 1), -2);
    EXPECT_EQ(simulator.countFrames('D'), 0u);
}
