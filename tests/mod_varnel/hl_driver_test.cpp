// The binding of the link library: against a scripted stand-in library (every
// export but SetBarring) for the values it passes and reads and its log lines,
// and against the real libVarnel.so talking to the HL driver simulator.
#include "adapter_fixture.h"
#include "hl_driver.h"

#include "platform/error.h"
#include "platform/event_loop.h"
#include "rtl/log_sinks.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

#include <filesystem>
#include <functional>

namespace {

using adapter_test::ScriptedLibrary;
using mod_varnel::EHLDriverError;
using mod_varnel::EHLRecordError;
using mod_varnel::IHLDriver;
using mod_varnel::THLDriver;
using rtl::LogLevel;
using rtl::Ref;

double Days(int days, int hour, int minute) {
    return days + (hour * 60 + minute) / 1440.0;
}

class ScriptedBindingTest : public testing::Test {
protected:
    std::vector<std::string> debugLines() const { return log.texts(LogLevel::Debug, "THLDriver"); }
    std::string lastDebug() const {
        const auto lines = debugLines();
        return lines.empty() ? std::string() : lines.back();
    }

    ScriptedLibrary script;
    rtl::LogCapture log;
    Ref<IHLDriver> driver = THLDriver::Create(ScriptedLibrary::folder());
};

struct CommandCase {
    const char* name;
    std::function<void(IHLDriver&)> call;
    const char* expectedCall; // as the library received it
    const char* expectedLine;
};

TEST_F(ScriptedBindingTest, CommandsPassTypedValuesAsTextsAndLogOneLineEach) {
    const CommandCase cases[] = {
        {"Connect", [](IHLDriver& d) { d.Connect("127.0.0.1", 2561, "/srv/queues/"); },
         "Connect(127.0.0.1|2561|/srv/queues/)",
         "Exec DLL function Connect(127.0.0.1, 2561, /srv/queues/, ): 0"},
        {"CheckIn", [](IHLDriver& d) { d.CheckIn("101", "Smith", 2, "4827", true); },
         "CheckIn(101|Smith|2|4827|wait)",
         "Exec DLL function CheckIn(101, Smith, 2, 4827, , True): 0"},
        {"CheckIn without name", [](IHLDriver& d) { d.CheckIn("101", "", -1, "", false); },
         "CheckIn(101|<null>|-1|<null>|nowait)",
         "Exec DLL function CheckIn(101, , -1, , , False): 0"},
        {"CheckOut", [](IHLDriver& d) { d.CheckOut("101", false); }, "CheckOut(101|nowait)",
         "Exec DLL function CheckOut(101, , False): 0"},
        {"SetName clearing", [](IHLDriver& d) { d.SetName("101", "", true); },
         "SetName(101|<null>|wait)", "Exec DLL function SetName(101, , , True): 0"},
        {"SetLanguage", [](IHLDriver& d) { d.SetLanguage("101", 3, true); },
         "SetLanguage(101|3|wait)", "Exec DLL function SetLanguage(101, 3, , True): 0"},
        {"SetPassword", [](IHLDriver& d) { d.SetPassword("101", "1234", true); },
         "SetPassword(101|1234|wait)", "Exec DLL function SetPassword(101, 1234, , True): 0"},
        {"SetWakeUpTime", [](IHLDriver& d) { d.SetWakeUpTime("101", Days(45323, 7, 30), true); },
         "SetWakeUpTime(101|07:30|wait)", "Exec DLL function SetWakeUpTime(101, 07:30, , True): 0"},
        {"StopWakeUp", [](IHLDriver& d) { d.StopWakeUp("101", true); }, "StopWakeUp(101|wait)",
         "Exec DLL function StopWakeUp(101, , True): 0"},
        {"SetDoNotDistrib", [](IHLDriver& d) { d.SetDoNotDistrib("101", 1, false); },
         "SetDoNotDistrib(101|1|nowait)", "Exec DLL function SetDoNotDistrib(101, 1, , False): 0"},
        {"FullReinitialize", [](IHLDriver& d) { d.FullReinitialize("101", 5000); },
         "FullReinitialize(101|5000)", "Exec DLL function FullReinitialize(101, 5000, ): 0"},
        {"PartialReinitialize", [](IHLDriver& d) { d.PartialReinitialize("101", 20000); },
         "PartialReinitialize(101|20000)",
         "Exec DLL function PartialReinitialize(101, 20000, ): 0"},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        c.call(*driver);
        EXPECT_EQ(script.lastCall(), c.expectedCall);
        EXPECT_EQ(debugLines(), std::vector<std::string>{c.expectedLine});
    }
}

TEST_F(ScriptedBindingTest, PhoneRequestsHandOutThePhoneOnlyOnSuccess) {
    std::string phone = "unchanged";
    driver->AllocatePhone("101", phone);
    EXPECT_EQ(phone, "2101");
    EXPECT_EQ(lastDebug(), "Exec DLL function AllocatePhone(101, 2101, ): 0");
    driver->GetAllocatedPhone("102", phone);
    EXPECT_EQ(phone, "2102");
    EXPECT_EQ(lastDebug(), "Exec DLL function GetAllocatedPhone(102, 2102, ): 0");

    script.setResult(-3, "System error");
    phone = "unchanged";
    EXPECT_THROW(driver->AllocatePhone("101", phone), EHLDriverError);
    EXPECT_EQ(phone, "unchanged");
}

TEST_F(ScriptedBindingTest, ANonZeroResultRaisesWithTheLibrarysTextAndCode) {
    struct Case {
        int32_t result;
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {2, "Room already allocated", "Room already allocated (2)"},
        {-2, "Timeout", "Timeout (-2)"},
        {-8, "Cannot connect to Orvane hotel link driver!",
         "Cannot connect to Orvane hotel link driver! (-8)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        script.setResult(c.result, c.text);
        try {
            driver->CheckIn("101", "Smith", 2, "4827", true);
            ADD_FAILURE() << "no error";
        } catch (const EHLDriverError& e) {
            EXPECT_STREQ(e.what(), c.message);
            EXPECT_EQ(e.errorCode(), c.result);
        }
        // The line is written before the result is judged.
        EXPECT_EQ(lastDebug(), std::string("Exec DLL function CheckIn(101, Smith, 2, 4827, ") +
                                   c.text + ", True): " + std::to_string(c.result));
    }
}

TEST_F(ScriptedBindingTest, AMissingExportFailsOnlyItsOwnOperation) {
    try {
        driver->SetBarring("101", 7, true);
        ADD_FAILURE() << "no error";
    } catch (const EHLDriverError& e) {
        EXPECT_STREQ(e.what(), "Function SetBarring is not assigned.");
        EXPECT_EQ(e.errorCode(), 0);
    }
    EXPECT_FALSE(log.containsText("Exec DLL function SetBarring")) << log.dump();
    EXPECT_NO_THROW(driver->CheckIn("101", "Smith", 2, "4827", true));
}

TEST_F(ScriptedBindingTest, DisconnectAndConnectionTestJudgeTheirResults) {
    script.setDisconnectResult(1);
    EXPECT_NO_THROW(driver->Disconnect());
    EXPECT_EQ(lastDebug(), "Exec DLL function Disconnect: 1");

    script.setDisconnectResult(0); // the library still holds its connection
    try {
        driver->Disconnect();
        ADD_FAILURE() << "no error";
    } catch (const EHLDriverError& e) {
        EXPECT_STREQ(e.what(), "Unsuccessful disconnect (0)");
        EXPECT_EQ(e.errorCode(), 0);
    }

    for (const auto& [result, connected] : {std::pair{0, true}, {-1, false}, {3, false}}) {
        SCOPED_TRACE(result);
        script.setConnectedResult(result);
        EXPECT_EQ(driver->IsDrvConnected(), connected);
        EXPECT_EQ(lastDebug(), "Exec DLL function IsDrvConnected: " + std::to_string(result));
    }
}

TEST_F(ScriptedBindingTest, EachDeleteCallsItsExportAndAnswersWhetherTheRecordWent) {
    using Delete = bool (IHLDriver::*)(int32_t);
    const std::pair<const char*, Delete> deletes[] = {
        {"DeleteCheckIn", &IHLDriver::DeleteCheckIn},
        {"DeleteCheckOut", &IHLDriver::DeleteCheckOut},
        {"DeleteFullReinit", &IHLDriver::DeleteFullReinit},
        {"DeletePartialReinit", &IHLDriver::DeletePartialReinit},
        {"DeleteModification", &IHLDriver::DeleteModification},
        {"DeletePhoneAllocation", &IHLDriver::DeletePhoneAllocation},
        {"DeleteRoomState", &IHLDriver::DeleteRoomState},
        {"DeleteInTicket", &IHLDriver::DeleteInTicket},
        {"DeleteOutTicket", &IHLDriver::DeleteOutTicket},
        {"DeleteWakeUpEvent", &IHLDriver::DeleteWakeUpEvent},
    };
    for (const auto& [name, call] : deletes) {
        SCOPED_TRACE(name);
        script.setDeleteResult(0);
        EXPECT_TRUE(((*driver).*call)(7));
        EXPECT_EQ(script.lastCall(), std::string(name) + "(7)");
        EXPECT_EQ(lastDebug(), std::string("Exec DLL function ") + name + "(7): True");
        script.setDeleteResult(-1);
        EXPECT_FALSE(((*driver).*call)(7));
        EXPECT_EQ(lastDebug(), std::string("Exec DLL function ") + name + "(7): False");
    }
}

TEST_F(ScriptedBindingTest, EachGetterReadsItsOwnExportWithOneTextPerRecordField) {
    struct Case {
        const char* name;
        std::function<int32_t(IHLDriver&)> call;
        const char* texts;
    };
    const Case cases[] = {
        {"GetCheckIn",
         [](IHLDriver& d) {
             mod_varnel::TCheckInRecord r;
             return d.GetCheckIn(r);
         },
         "101|SMITH|2|1234|03|0730|0|2024.02.01 09:05"},
        {"GetCheckOut",
         [](IHLDriver& d) {
             mod_varnel::TCheckOutRecord r;
             return d.GetCheckOut(r);
         },
         "101|2024.02.01 09:05"},
        {"GetFullReinit",
         [](IHLDriver& d) {
             mod_varnel::TFullReinitRecord r;
             return d.GetFullReinit(r);
         },
         "101|End of re-initialization|a|b|1|c|2|07:30|3|4|d|2024.02.01 09:05"},
        {"GetPartialReinit",
         [](IHLDriver& d) {
             mod_varnel::TPartialReinitRecord r;
             return d.GetPartialReinit(r);
         },
         "101|End of re-initialization|a|b|2024.02.01 09:05"},
        {"GetModification",
         [](IHLDriver& d) {
             mod_varnel::TModificationRecord r;
             return d.GetModification(r);
         },
         "101|SMITH|a|1|b|2|07:30|0|3|2024.02.01 09:05"},
        {"GetPhoneAllocation",
         [](IHLDriver& d) {
             mod_varnel::TPhoneAllocationRecord r;
             return d.GetPhoneAllocation(r);
         },
         "101|2101|2024.02.01 09:05"},
        {"GetRoomState",
         [](IHLDriver& d) {
             mod_varnel::TRoomStateRecord r;
             return d.GetRoomState(r);
         },
         "101|1|001|2024.02.01 09:05"},
        {"GetInTicket",
         [](IHLDriver& d) {
             mod_varnel::TCallTicketRecord r;
             return d.GetInTicket(r);
         },
         "101|5|0102241530|00125|0001|0049123456|2024.02.01 15:31"},
        {"GetOutTicket",
         [](IHLDriver& d) {
             mod_varnel::TCallTicketRecord r;
             return d.GetOutTicket(r);
         },
         "101|1|0102241530|00125|0001|0049123456|2024.02.01 15:31"},
        {"GetWakeUpEvent",
         [](IHLDriver& d) {
             mod_varnel::TWakeUpRecord r;
             return d.GetWakeUpEvent(r);
         },
         "101|Acknowledge|010224|0730|07:30|2024.02.01 09:05"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script.setRecord(9, c.texts);
        EXPECT_EQ(c.call(*driver), 9);
        std::string joined = c.texts;
        for (size_t at; (at = joined.find('|')) != std::string::npos;)
            joined.replace(at, 1, ", ");
        EXPECT_EQ(lastDebug(), std::string("Exec DLL function ") + c.name + "(" + joined + "): 9");
    }
}

TEST_F(ScriptedBindingTest, AnOutTicketIsConvertedOnlyWhenTheResultShowsOne) {
    const char* const texts = "101|1|0102241530|00125|0001|0049123456|2024.02.01 15:31";
    mod_varnel::TCallTicketRecord ticket;
    ticket.line = "old";
    ticket.duration = 99;

    script.setRecord(0, texts); // 0 is no ticket
    EXPECT_EQ(driver->GetOutTicket(ticket), 0);
    EXPECT_EQ(ticket.line, "old");
    EXPECT_EQ(ticket.duration, 99);

    script.setRecord(5, texts);
    EXPECT_EQ(driver->GetOutTicket(ticket), 5);
    EXPECT_EQ(ticket.line, "101");
    EXPECT_EQ(ticket.callType, "1");
    EXPECT_NEAR(ticket.callTime, Days(45323, 15, 30), 1e-9);
    EXPECT_EQ(ticket.duration, 125);
    EXPECT_EQ(ticket.field4, "0001");
    EXPECT_EQ(ticket.field20, "0049123456");
    EXPECT_NEAR(ticket.time, Days(45323, 15, 31), 1e-9);

    script.setRecord(6, "102|1||00005|||"); // an empty call time reads as 0
    EXPECT_EQ(driver->GetOutTicket(ticket), 6);
    EXPECT_EQ(ticket.line, "102");
    EXPECT_EQ(ticket.callTime, 0.0);
    EXPECT_EQ(ticket.time, 0.0);

    script.setRecord(-1, "");
    EXPECT_EQ(driver->GetOutTicket(ticket), -1);
    EXPECT_EQ(ticket.line, "102");
}

TEST_F(ScriptedBindingTest, AnUnreadableNumberRaisesWithTheKeyAndTheRecordLeftUntouched) {
    mod_varnel::TCallTicketRecord ticket;
    ticket.line = "old";
    script.setRecord(5, "101|1|0102241530|12x|0001|0049123456|2024.02.01 15:31");
    try {
        driver->GetOutTicket(ticket);
        ADD_FAILURE() << "no error";
    } catch (const EHLRecordError& e) {
        EXPECT_EQ(e.key(), 5);
        EXPECT_EQ(e.recordText(), "5|101|1|0102241530|12x|0001|0049123456|2024.02.01 15:31|");
        EXPECT_STREQ(e.what(), "'12x' is not a valid integer value");
    }
    EXPECT_EQ(ticket.line, "old");
    EXPECT_EQ(lastDebug(),
              "Exec DLL function GetOutTicket(101, 1, 0102241530, 12x, 0001, 0049123456, "
              "2024.02.01 15:31): 5");
}

TEST_F(ScriptedBindingTest, ARoomIsCleanExactlyForStateOne) {
    struct Case {
        const char* state;
        bool readable;
        bool clean;
    };
    const Case cases[] = {{"1", true, true},
                          {"0", true, false},
                          {"2", true, false},
                          {"x", false, false},
                          {"", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        script.setRecord(3, std::string("101|") + c.state + "|ABC|2024.02.01 09:05");
        mod_varnel::TRoomStateRecord record;
        if (c.readable) {
            EXPECT_EQ(driver->GetRoomState(record), 3);
            EXPECT_EQ(record.isClean, c.clean);
            EXPECT_EQ(record.line, "101");
            EXPECT_EQ(record.text, "ABC");
        } else {
            EXPECT_THROW(driver->GetRoomState(record), EHLRecordError);
        }
    }
}

TEST_F(ScriptedBindingTest, WakeUpCausesMatchTheLibrarysTextsExactly) {
    using mod_varnel::WakeUpCause;
    const std::pair<const char*, WakeUpCause> causes[] = {
        {"Acknowledge", WakeUpCause::Acknowledge},
        {"Not acknowledge : Free", WakeUpCause::NotAcknowledgeFree},
        {"Not acknowledge : Busy", WakeUpCause::NotAcknowledgeBusy},
        {"Set Inaccessible (OUT OF ORDER)", WakeUpCause::SetInaccessible},
        {"Programmed (wake-up)", WakeUpCause::Programmed},
        {"Cancelled (wake-up)", WakeUpCause::Cancelled},
    };
    for (const auto& [text, cause] : causes) {
        SCOPED_TRACE(text);
        script.setRecord(4, std::string("101|") + text + "|010224|0730|07:30|2024.02.01 09:05");
        mod_varnel::TWakeUpRecord record;
        EXPECT_EQ(driver->GetWakeUpEvent(record), 4);
        EXPECT_EQ(record.cause, cause);
        EXPECT_NEAR(record.wakeUpTime, Days(45323, 7, 30), 1e-9);
        EXPECT_NEAR(record.field31, Days(0, 7, 30), 1e-9);
    }
    for (const char* text : {"Acknowledge ", "acknowledge", "A"}) {
        SCOPED_TRACE(text);
        script.setRecord(4, std::string("101|") + text + "|010224|0730|07:30|2024.02.01 09:05");
        mod_varnel::TWakeUpRecord record;
        try {
            driver->GetWakeUpEvent(record);
            ADD_FAILURE() << "no error";
        } catch (const EHLDriverError& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("Not supported wake up event cause: ") + text);
        }
    }
}

TEST_F(ScriptedBindingTest, CheckInAndModificationRecordsConvertTheirNumbers) {
    script.setRecord(8, "101|SMITH|x|1234|03|0730|1|2024.02.01 09:05");
    mod_varnel::TCheckInRecord checkIn;
    EXPECT_EQ(driver->GetCheckIn(checkIn), 8);
    EXPECT_EQ(checkIn.language, -1); // unreadable language: -1
    EXPECT_EQ(checkIn.barring, 3);
    EXPECT_EQ(checkIn.doNotDisturb, 1);
    // "0730" holds no minutes where "hh:nn" puts them: they count as 0.
    EXPECT_NEAR(checkIn.wakeUpTime, Days(0, 7, 0), 1e-9);

    for (const auto& [text, set] : {std::pair{"0", false}, {"1", true}, {"", true}, {"y", true}}) {
        SCOPED_TRACE(text);
        script.setRecord(8, std::string("101|SMITH|a|1|b|2|07:30|") + text + "|3|2024.02.01 09:05");
        mod_varnel::TModificationRecord modification;
        EXPECT_EQ(driver->GetModification(modification), 8);
        EXPECT_EQ(modification.field58, set);
        EXPECT_NEAR(modification.field54, Days(0, 7, 30), 1e-9);
    }
}

// ------------------------------------------------------- loading and messages

TEST(BindingLoad, LogsLoadingRegistrationAndRelease) {
    rtl::LogCapture log;
    const std::string file = ScriptedLibrary::folder() + "/libVarnel.so";
    {
        Ref<THLDriver> driver(new THLDriver(ScriptedLibrary::folder()));
        std::vector<std::string> expected = {"Executing LoadLibrary(" + file + ")",
                                             "Library " + file + " was loaded"};
        for (const char* name : mod_varnel::NotificationNames)
            expected.push_back(std::string("RegisterWindowMessage(") + name +
                               "): " + std::to_string(platform::RegisterMessage(name)));
        expected.push_back("All messges were registered successuful");
        EXPECT_EQ(log.texts(LogLevel::Debug, "THLDriver"), expected);
        log.clear();
    }
    EXPECT_EQ(log.texts(LogLevel::Debug, "THLDriver"),
              (std::vector<std::string>{"Executing FreeLibrary", "Library was released"}));
}

TEST(BindingLoad, AFolderWithOrWithoutTrailingDelimiterNamesTheSameFile) {
    Ref<THLDriver> plain(new THLDriver(ScriptedLibrary::folder()));
    Ref<THLDriver> slashed(new THLDriver(ScriptedLibrary::folder() + "/"));
    EXPECT_EQ(plain->libraryFile(), ScriptedLibrary::folder() + "/libVarnel.so");
    EXPECT_EQ(slashed->libraryFile(), plain->libraryFile());
}

TEST(BindingLoad, AMissingLibraryRaisesTheLoadersErrorAfterBothLines) {
    rtl::LogCapture log;
    test_support::TempDir empty;
    const std::string file = empty.path() + "/libVarnel.so";
    try {
        THLDriver::Create(empty.path());
        ADD_FAILURE() << "no error";
    } catch (const platform::Error& e) {
        EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
    }
    EXPECT_EQ(log.texts(LogLevel::Debug, "THLDriver"),
              (std::vector<std::string>{"Executing LoadLibrary(" + file + ")",
                                        "Library " + file + " was loaded"}));
}

TEST(BindingLoad, EachMessageTestAnswersForItsOwnNotificationOnly) {
    using Test = bool (IHLDriver::*)(const platform::Message&);
    const Test tests[] = {
        &IHLDriver::IsInCallTicketMessage,   &IHLDriver::IsOutCallTicketMessage,
        &IHLDriver::IsWakeUpMessage,         &IHLDriver::IsRoomStatusMessage,
        &IHLDriver::IsFullReinitDoneMessage, &IHLDriver::IsPartialReinitDoneMessage,
        &IHLDriver::IsCheckInMessage,        &IHLDriver::IsCheckOutMessage,
        &IHLDriver::IsPhoneAllocMessage,     &IHLDriver::IsModifyMessage,
    };
    Ref<IHLDriver> driver = THLDriver::Create(ScriptedLibrary::folder());
    Ref<THLDriver> second(new THLDriver(ScriptedLibrary::folder()));
    for (size_t n = 0; n < std::size(mod_varnel::NotificationNames); ++n) {
        SCOPED_TRACE(mod_varnel::NotificationNames[n]);
        const platform::Message message{platform::RegisterMessage(mod_varnel::NotificationNames[n]),
                                        0, 101};
        // A second binding in the process registers the same numbers.
        EXPECT_EQ(second->messageNumber(mod_varnel::Notification(n)), message.id);
        for (size_t t = 0; t < std::size(tests); ++t) {
            const Test test = tests[t];
            EXPECT_EQ(((*driver).*test)(message), t == n) << "test " << t;
        }
    }
    const platform::Message connected{platform::RegisterMessage("Connected to HL driver"), 0, 0};
    for (Test test : tests)
        EXPECT_FALSE(((*driver).*test)(connected));
}

// ------------------------------------------------------------ the real library

// The file the loader took for a library loaded under `name`.
std::string LoadedPath(const char* name) {
    void* handle = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return {};
    link_map* map = nullptr;
    std::string path;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map)
        path = map->l_name;
    dlclose(handle);
    return path;
}

TEST(RealLibrary, AnEmptyPathLoadsTheLibraryBesideThePlugInsBySearchOrder) {
    Ref<THLDriver> driver(new THLDriver(""));
    EXPECT_EQ(driver->libraryFile(), "libVarnel.so");
    EXPECT_EQ(std::filesystem::canonical(LoadedPath("libVarnel.so")),
              std::filesystem::canonical(VARNEL_LIBRARY_PATH));
}

class RealLibraryTest : public testing::Test {
protected:
    RealLibraryTest() { simulator.listen(); }
    ~RealLibraryTest() override {
        driver.reset();
        platform::PumpMessages();
    }

    test_support::TempDir dir;
    hlsim::Simulator simulator;
    rtl::LogCapture log;
    Ref<IHLDriver> driver =
        THLDriver::Create(std::filesystem::path(VARNEL_LIBRARY_PATH).parent_path().string());
};

TEST_F(RealLibraryTest, CommandsAndQueuedTicketsTravelThroughTheLibrary) {
    const std::string queues = dir.path() + "/queues/";
    driver->Connect("127.0.0.1", simulator.port(), queues);
    EXPECT_TRUE(driver->IsDrvConnected());
    EXPECT_TRUE(log.contains(LogLevel::Debug, "THLDriver",
                             "Exec DLL function Connect(127.0.0.1, " + simulator.portText() + ", " +
                                 queues + ", ): 0"))
        << log.dump();

    driver->CheckIn("101", "Smith", 2, "4827", true);
    ASSERT_EQ(simulator.requests().size(), 1u);
    EXPECT_EQ(simulator.requests()[0].type, "A");
    EXPECT_EQ(simulator.requests()[0].room, "101");

    // The barring goes with at least two digits.
    driver->SetBarring("101", 7, true);
    ASSERT_EQ(simulator.requests().size(), 2u);
    EXPECT_EQ(hlsim::FieldAt(simulator.requests()[1].frame, 41, 2), "07");
    EXPECT_TRUE(log.contains(LogLevel::Debug, "THLDriver",
                             "Exec DLL function SetBarring(101, 07, , True): 0"));
    driver->SetBarring("101", 123, true);
    EXPECT_TRUE(log.contains(LogLevel::Debug, "THLDriver",
                             "Exec DLL function SetBarring(101, 123, , True): 0"));

    simulator.setReply("A", "102", {hlsim::AnswerStep('J', 'A')});
    try {
        driver->CheckIn("102", "Brown", 1, "4827", true);
        ADD_FAILURE() << "no error";
    } catch (const EHLDriverError& e) {
        EXPECT_STREQ(e.what(), "Room already allocated (2)");
        EXPECT_EQ(e.errorCode(), 2);
    }

    simulator.send({hlsim::BuildFrame(
        "ticket",
        {{"line", "101"}, {"type", "1"}, {"time", "0102241530"}, {"duration", "00125"}})});
    mod_varnel::TCallTicketRecord ticket;
    int32_t key = -1;
    ASSERT_TRUE(adapter_test::WaitFor([&] { return (key = driver->GetOutTicket(ticket)) > 0; }));
    EXPECT_EQ(ticket.line, "101");
    EXPECT_EQ(ticket.duration, 125);
    EXPECT_NEAR(ticket.callTime, Days(45323, 15, 30), 1e-9);
    EXPECT_TRUE(driver->DeleteOutTicket(key));
    EXPECT_FALSE(driver->DeleteOutTicket(key));
    EXPECT_EQ(driver->GetOutTicket(ticket), -1);

    driver->Disconnect();
    EXPECT_FALSE(driver->IsDrvConnected());
}

} // namespace
