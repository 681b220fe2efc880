// The adapter module against the HL driver simulator through the real link
// library: line operations and their answers, connecting and reconnecting, the
// timer and the notifications.
#include "adapter_fixture.h"

#include "frame/pbxAdapter_int.h"
#include "platform/messages.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using adapter_test::AdapterTest;
using adapter_test::WaitFor;
using rtl::LogLevel;

const char* const Source = "TvarnelDM";

std::string RequestTypes(const hlsim::Simulator& simulator) {
    std::string types;
    for (const hlsim::Request& r : simulator.requests())
        types += (types.empty() ? "" : " ") + r.type;
    return types;
}

// ------------------------------------------------------------ line operations

struct LineCase {
    const char* name;
    const char* operation; // open, close or name
    const char* ruleType;  // the request the simulator refuses ("" for none)
    char answer;
    char reason;
    bool result;
    const char* info;
    const char* requests; // the request types the simulator received, in order
    LogLevel level;       // of the refusal's line
    const char* line;     // "" for none
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

class LineOperation : public AdapterTest, public testing::WithParamInterface<LineCase> {};

TEST_P(LineOperation, AnswersAsTheLinkLibraryDecided) {
    const LineCase& c = GetParam();
    if (*c.ruleType)
        simulator.setReply(c.ruleType, "*", {hlsim::AnswerStep(c.answer, c.reason)});
    rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create("101", "Smith");
    std::string info = "left over from an earlier operation";
    const std::string operation = c.operation;
    bool result = false;
    std::string begin, end;
    if (operation == "open") {
        result = dm().openLine(data.get(), info);
        begin = "--- Begin open line ---";
        end = "--- End open line ---";
    } else if (operation == "close") {
        result = dm().closeLine(data.get(), info);
        begin = "--- Begin close line ---";
        end = "--- End close line ---";
    } else {
        result = dm().setGuestName(data.get(), info);
        begin = "--- Begin set guest name ---";
        end = "--- End set guest name ---";
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(info, c.info);
    EXPECT_EQ(RequestTypes(simulator), c.requests);
    const auto lines = log.texts(LogLevel::Debug, Source);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), begin);
    EXPECT_EQ(lines.back(), end);
    if (*c.line) {
        EXPECT_TRUE(log.contains(c.level, Source, c.line)) << logDump();
    }
    EXPECT_TRUE(log.texts(LogLevel::Error, Source).empty() || c.level == LogLevel::Error)
        << logDump();
}

INSTANTIATE_TEST_SUITE_P(
    Answers, LineOperation,
    testing::Values(
        LineCase{"OpenAccepted", "open", "", 0, 0, true, "", "A", LogLevel::Debug, ""},
        LineCase{"OpenAlreadyAllocatedCountsAsDone", "open", "A", 'J', 'A', true,
                 "Room already allocated (2)", "A", LogLevel::Debug,
                 "Error on Open: Room already allocated (2)"},
        LineCase{"OpenRefused", "open", "A", 'J', 'T', false, "Other (4)", "A", LogLevel::Error,
                 "Error on Open: Other (4)"},
        LineCase{"CloseAccepted", "close", "", 0, 0, true, "", "ZP D", LogLevel::Debug, ""},
        LineCase{"CloseNotCheckedInCountsAsDone", "close", "D", 'P', 'A', true,
                 "Room not checked-in (2)", "ZP D", LogLevel::Debug,
                 "Error on Close: Room not checked-in (2)"},
        LineCase{"CloseReinitRefusedWithCodeOneSendsNoCheckOut", "close", "ZP", 'T', 'R', true,
                 "Invalid room extension number (not used) (1)", "ZP", LogLevel::Debug,
                 "Error on Close: Invalid room extension number (not used) (1)"},
        LineCase{"CloseReinitRefusedSendsNoCheckOut", "close", "ZP", 'T', 'T', false, "Other (4)",
                 "ZP", LogLevel::Error, "Error on Close: Other (4): Other (4)"},
        LineCase{"SetNameAccepted", "name", "", 0, 0, true, "", "M", LogLevel::Debug, ""},
        LineCase{"SetNameWrongPasswordCountsAsDone", "name", "M", 'N', 'P', true,
                 "Invalid or unavailable guest password (3)", "M", LogLevel::Debug,
                 "Error on SetGuestName: Invalid or unavailable guest password (3)"},
        LineCase{"SetNameRefused", "name", "M", 'N', 'T', false, "Other (5)", "M", LogLevel::Error,
                 "Error on SetGuestName: Other (5): Other (5)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AdapterTest, CheckInSendsTheConfiguredLanguageAndPasswordOrTheirFallbacks) {
    struct Case {
        const char* language; // nullptr: key missing
        const char* password;
        const char* sentLanguage;
        const char* sentPassword;
    };
    const Case cases[] = {
        {nullptr, nullptr, "1", "4827"},
        {"3", "1111", "3", "1111"},
        {"abc", "", "1", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language ? c.language : "<missing>");
        section->remove("check_in");
        if (c.language)
            section->set("check_in.def_language", c.language);
        if (c.password)
            section->set("check_in.def_password", c.password);
        simulator.clearReceived();
        rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create("101", "Smith");
        std::string info;
        ASSERT_TRUE(dm().openLine(data.get(), info)) << info;
        ASSERT_EQ(simulator.requests().size(), 1u);
        const std::string& frame = simulator.requests()[0].frame;
        EXPECT_EQ(hlsim::FieldAt(frame, 32, 1), c.sentLanguage);
        EXPECT_EQ(hlsim::FieldAt(frame, 37, 4), c.sentPassword);
        EXPECT_EQ(hlsim::FieldAt(frame, 12, 10), "SMITH");
    }
}

// ------------------------------------------------------ connecting the driver

TEST_F(AdapterTest, ConnectFailuresComeBackInsideTheLoadOrConnectError) {
    struct Case {
        const char* name;
        std::function<void(rtl::IConfiguration&)> configure;
        std::string infoStart;
        std::string infoEnd;
    };
    const std::string prefix = "Error on load or connect\r\n(";
    const Case cases[] = {
        {"no driver address", [](rtl::IConfiguration& s) { s.remove("varnel.driver_ip"); },
         prefix + "Driver IP not defined!)", ""},
        {"port not a number", [](rtl::IConfiguration& s) { s.set("varnel.driver_port", "abc"); },
         prefix + "Driver port not defined!)", ""},
        {"port -1", [](rtl::IConfiguration& s) { s.set("varnel.driver_port", "-1"); },
         prefix + "Driver port not defined!)", ""},
        {"no queue folder", [](rtl::IConfiguration& s) { s.remove("varnel.log_path"); }, prefix,
         " (-3))"},
        {"nothing listening",
         [](rtl::IConfiguration& s) {
             hlsim::Simulator closed;
             closed.listen();
             s.set("varnel.driver_port", closed.portText()); // closed again at once
         },
         prefix + "Cannot connect to Orvane hotel link driver! (-8))", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        destroyModule();
        config = rtl::MakeRef<rtl::TConfiguration>();
        section = config->sub("mod_varnel");
        section->set("varnel.driver_ip", "127.0.0.1");
        section->set("varnel.driver_port", simulator.portText());
        section->set("varnel.log_path", dir.file("queues"));
        c.configure(*section);
        rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create("101", "Smith");
        std::string info;
        EXPECT_FALSE(dm().openLine(data.get(), info));
        EXPECT_EQ(info.substr(0, c.infoStart.size()), c.infoStart) << info;
        if (!c.infoEnd.empty()) {
            EXPECT_EQ(info.substr(info.size() - c.infoEnd.size()), c.infoEnd) << info;
        } else {
            EXPECT_EQ(info, c.infoStart);
        }
        // The binding is kept for the next attempt.
        EXPECT_TRUE(dm().hasDriver());
        EXPECT_TRUE(log.contains(LogLevel::Error, Source, "Error on Open: " + info)) << logDump();
    }
}

TEST_F(AdapterTest, ALibraryThatDoesNotLoadIsLoadedAgainAtTheNextUse) {
    section->set("varnel.path", dir.file("no-such-folder"));
    rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create("101", "Smith");
    std::string info;
    EXPECT_FALSE(dm().openLine(data.get(), info));
    EXPECT_EQ(
        info.rfind("Error on load or connect\r\n(" + dir.file("no-such-folder/libVarnel.so"), 0),
        0u)
        << info;
    EXPECT_FALSE(dm().hasDriver());

    section->remove("varnel.path"); // the system's search order finds it
    EXPECT_TRUE(dm().openLine(data.get(), info)) << info;
    EXPECT_TRUE(dm().hasDriver());
}

TEST_F(AdapterTest, WithoutAQueueFolderTheLibraryFolderHoldsTheQueues) {
    const std::string libs = dir.file("libs");
    std::filesystem::create_directory(libs);
    std::filesystem::create_symlink(VARNEL_LIBRARY_PATH, libs + "/libVarnel.so");
    section->set("varnel.path", libs);
    section->remove("varnel.log_path");

    rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create("101", "Smith");
    std::string info;
    ASSERT_TRUE(dm().openLine(data.get(), info)) << info;
    EXPECT_TRUE(log.contains(LogLevel::Debug, "THLDriver",
                             "Exec DLL function Connect(127.0.0.1, " + simulator.portText() + ", " +
                                 libs + "/, ): 0"))
        << logDump();
    // Queue files are written when their first record arrives.
    sendTicket("101", "0102241530", "00125");
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(libs + "/TicketsOut.txt"); }));
}

TEST_F(AdapterTest, ALostLinkIsReconnectedAtTheNextOperation) {
    rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create("101", "Smith");
    std::string info;
    ASSERT_TRUE(dm().openLine(data.get(), info)) << info;
    ASSERT_EQ(simulator.connectionCount(), 1);

    simulator.closeConnection();
    ASSERT_TRUE(waitForNotification("Disconnected from HL driver", 1));

    EXPECT_TRUE(dm().setGuestName(data.get(), info)) << info;
    EXPECT_TRUE(
        log.contains(LogLevel::Debug, Source, "No connection to HoletLink driver -> reconnect"))
        << logDump();
    EXPECT_EQ(simulator.connectionCount(), 2);
    EXPECT_EQ(RequestTypes(simulator), "A M");
}

TEST_F(AdapterTest, DestructionDisconnectsOnlyALinkThatIsUp) {
    for (const bool dropFirst : {false, true}) {
        SCOPED_TRACE(dropFirst ? "link dropped first" : "link up");
        rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create("101", "Smith");
        std::string info;
        ASSERT_TRUE(dm().openLine(data.get(), info)) << info;
        if (dropFirst) {
            const size_t drops = gate.count("Disconnected from HL driver");
            simulator.closeConnection();
            ASSERT_TRUE(waitForNotification("Disconnected from HL driver", drops + 1));
        }
        log.clear();
        destroyModule();
        EXPECT_EQ(log.containsText("Exec DLL function Disconnect"), !dropFirst) << logDump();
        EXPECT_TRUE(log.contains(LogLevel::Debug, "THLDriver", "Library was released"));
        EXPECT_TRUE(log.contains(LogLevel::Debug, Source, "Disconnect from DB"));
        EXPECT_TRUE(log.texts(LogLevel::Error, Source).empty()) << logDump();
        EXPECT_TRUE(WaitFor([&] { return !simulator.connected(); }));
    }
}

// ----------------------------------------------------------------------- timer

TEST_F(AdapterTest, WithoutAPositiveIntervalTheTimerDoesNotRun) {
    for (const char* interval : {"", "0", "abc", "-5"}) {
        SCOPED_TRACE(interval);
        destroyModule();
        log.clear();
        if (*interval)
            section->set("timer_interval", interval);
        else
            section->remove("timer_interval");
        EXPECT_FALSE(dm().timerRunning());
        EXPECT_TRUE(log.contains(LogLevel::Warn, Source, "Timer not started")) << logDump();
    }
}

TEST_F(AdapterTest, TicksRunBothPassesAndReadTheIntervalAfresh) {
    section->set("timer_interval", "50");
    dm();
    EXPECT_TRUE(dm().timerRunning());
    EXPECT_TRUE(log.contains(LogLevel::Debug, Source, "Timer started on 50")) << logDump();

    // The first tick loads and connects the library.
    ASSERT_TRUE(WaitFor([&] { return log.containsText("--- End room state change --- "); }))
        << logDump();
    EXPECT_TRUE(dm().hasDriver());
    EXPECT_TRUE(simulator.connected());
    const auto lines = log.texts(LogLevel::Debug, Source);
    const auto at = [&](const std::string& text) {
        return std::find(lines.begin(), lines.end(), text) - lines.begin();
    };
    EXPECT_LT(at("Execute on timer."), at("Timer stoped"));
    EXPECT_LT(at("Timer stoped"), at("--- Begin scanning for outcall tickets ---"));
    EXPECT_LT(at("--- End scanning for outcall tickets ---"),
              at("--- Begin room state change --- "));

    // A changed interval counts from the end of the next piece of work.
    section->set("timer_interval", "0");
    ASSERT_TRUE(WaitFor([&] { return !dm().timerRunning(); }));
    EXPECT_EQ(dm().timerInterval(), 0u);
}

TEST_F(AdapterTest, LineOperationsStopTheTimerAndRestartItFromTheConfiguration) {
    section->set("timer_interval", "600000");
    EXPECT_TRUE(dm().timerRunning());
    section->set("timer_interval", "0");
    rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create("101", "Smith");
    std::string info;
    ASSERT_TRUE(dm().openLine(data.get(), info));
    EXPECT_FALSE(dm().timerRunning());
    section->set("timer_interval", "600000");
    ASSERT_TRUE(dm().setGuestName(data.get(), info));
    EXPECT_TRUE(dm().timerRunning());
    EXPECT_EQ(dm().timerInterval(), 600000u);
}

// --------------------------------------------------------------- notifications

// A hook installed after the module's: it sees what the module left unhandled.
class LaterHook {
public:
    LaterHook() : hook_([this](const platform::Message& m, bool&) { seen.push_back(m.id); }) {}
    size_t count(const char* name) const {
        return size_t(std::count(seen.begin(), seen.end(), platform::RegisterMessage(name)));
    }
    std::vector<uint32_t> seen;

private:
    platform::MessageHook hook_;
};

TEST_F(AdapterTest, NotificationsStartNothingBeforeTheLibraryIsLoaded) {
    dm();
    LaterHook later;
    platform::Broadcast(platform::RegisterMessage(adapter_test::RoomStatus), 0, 101);
    platform::Broadcast(platform::RegisterMessage(adapter_test::OutCallTicket), 1, 101);
    ASSERT_TRUE(WaitFor([&] { return later.seen.size() >= 2; }));
    EXPECT_EQ(later.count(adapter_test::RoomStatus), 1u);
    EXPECT_EQ(later.count(adapter_test::OutCallTicket), 1u);
    EXPECT_FALSE(log.containsText("Execute after win message.")) << logDump();
    EXPECT_FALSE(dm().hasDriver());
}

TEST_F(AdapterTest, OnceLoadedTheTwoNotificationsRunTheirPassesAndAreHandled) {
    rtl::Ref<frame::IPBXData> data = frame::TPBXData::Create("101", "Smith");
    std::string info;
    ASSERT_TRUE(dm().openLine(data.get(), info)) << info;
    LaterHook later;

    sendTicket("101", "0102241530", "00125");
    ASSERT_TRUE(WaitFor([&] { return spool().size() == 162; })) << logDump();
    EXPECT_TRUE(log.contains(LogLevel::Debug, Source, "Execute after win message."));

    sendRoomStatus("101", "1", "");
    ASSERT_TRUE(WaitFor([&] { return log.containsText("--- End room state change --- "); }))
        << logDump();
    // The module handled both: later hooks never saw them.
    EXPECT_EQ(later.count(adapter_test::OutCallTicket), 0u);
    EXPECT_EQ(later.count(adapter_test::RoomStatus), 0u);

    // The other notifications are left alone.
    simulator.send({hlsim::BuildFrame("checkout", {{"room", "101"}})});
    ASSERT_TRUE(WaitFor([&] { return later.count("Checkout from reception set") == 1; }));
    EXPECT_EQ(gate.count(adapter_test::RoomStatus), 1u);
}

} // namespace
