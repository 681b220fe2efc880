// The link library's notifications as signals on a private system bus, received by
// dbus-monitor in another process: all twelve, in the order of the broadcasts in the
// process and with the same numbers; and a link that works as before when the bus is
// missing, hung or goes away while it runs.
#include "bus_fixture.h"
#include "varnel_library.h"

#include "hlsim/frames.h"
#include "hlsim/simulator.h"
#include "platform/bus_signals.h"
#include "platform/event_loop.h"
#include "test_support/private_bus.h"
#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace varnel_test;
using bus_test::Printed;

namespace {

constexpr uint32_t Generous = 20000;

struct Expected {
    std::string name;
    uint32_t wParam;
    int32_t lParam;
};

// One frame of each event kind and the notification it gives.
struct EventRow {
    std::string kind;
    hlsim::FieldValues values;
    Expected notification;
};

const std::vector<EventRow>& TenEvents() {
    static const std::vector<EventRow> rows = {
        {"ticket",
         {{"line", "2101"}, {"type", "1"}},
         {"Ticket for outgoing call from HL driver", 1, 2101}},
        {"ticket",
         {{"line", "2102"}, {"type", "3"}},
         {"Ticket for incoming call from HL driver", 0, 2102}},
        {"wakeup", {{"room", "103"}, {"status", "A"}}, {"Wake up event from HL driver", 0, 103}},
        {"roomstatus",
         {{"room", "104"}, {"status", "1"}, {"field", "ABC"}},
         {"Room status event from HL driver", 0, 104}},
        {"fullreinit",
         {{"room", "105"}, {"letter", "E"}},
         {"End of full reinitialization", 0, 105}},
        {"partialreinit",
         {{"room", "106"}, {"letter", "O"}},
         {"End of partial reinitialization", 0, 106}},
        {"checkin", {{"room", "107"}, {"name", "SMITH"}}, {"Checkin from reception set", 0, 107}},
        {"checkout", {{"room", "108"}}, {"Checkout from reception set", 0, 108}},
        {"phone",
         {{"room", "109"}, {"phone", "2109"}},
         {"Phone allocation from reception set", 0, 109}},
        {"modification",
         {{"room", "110"}, {"name", "JONES"}},
         {"Data modification from reception set", 0, 110}},
    };
    return rows;
}

// The library loaded after the test pointed DBUS_SYSTEM_BUS_ADDRESS where it wants,
// against the in-process simulator, with the notifications of the process recorded.
class BusLink {
public:
    BusLink() {
        simulator.listen();
        varnel.emplace();
    }
    ~BusLink() {
        varnel.reset(); // its last notifications must not reach the next test
        platform::PumpMessages();
    }

    int32_t connect() {
        OutText message;
        return (*varnel)->Connect("127.0.0.1", simulator.portText().c_str(),
                                  (dir.path() + "/queues/").c_str(), message.ptr());
    }

    // Sends one event frame and waits until the process has heard of it.
    bool sendAndWait(const EventRow& row) {
        const size_t before = inProcess.count(row.notification.name);
        simulator.send({hlsim::BuildFrame(row.kind, row.values)});
        return platform::WaitUntil([&] { return inProcess.count(row.notification.name) > before; },
                                   Generous);
    }

    std::vector<Expected> heardInProcess() const {
        std::vector<Expected> heard;
        for (const auto& m : inProcess.seen)
            for (const auto& row : TenEvents())
                if (platform::RegisterMessage(row.notification.name) == m.id)
                    heard.push_back({row.notification.name, uint32_t(m.wParam), int32_t(m.lParam)});
        return heard;
    }

    test_support::TempDir dir;
    hlsim::Simulator simulator;
    NotificationLog inProcess;
    std::optional<VarnelLibrary> varnel;
};

std::vector<std::vector<std::string>>
ArgumentsOf(const std::vector<test_support::MonitoredSignal>& s) {
    std::vector<std::vector<std::string>> all;
    for (const auto& signal : s)
        all.push_back(signal.arguments);
    return all;
}

// Every status report of the bus channels while it exists.
struct StatusLog {
    std::vector<platform::BusStatus> reports;
    platform::BusStatusWatch watch{[this](const platform::BusStatus& s) { reports.push_back(s); }};
    size_t count(platform::BusStatus::State state) const {
        size_t n = 0;
        for (const auto& r : reports)
            n += r.state == state ? 1 : 0;
        return n;
    }
};

TEST(BusNotifications, TheTwelveReachAnotherProcessInTheOrderOfTheBroadcasts) {
    test_support::TempDir policyDir;
    test_support::PrivateBus bus({bus_test::PolicyForThisProcess(policyDir)});
    test_support::SystemBusAddressOverride address(bus.address());
    test_support::BusMonitor monitor(bus.address(), {bus_test::NotificationRule});
    StatusLog status;
    BusLink link;

    ASSERT_EQ(link.connect(), 0);
    for (const EventRow& row : TenEvents())
        ASSERT_TRUE(link.sendAndWait(row)) << row.kind;
    link.simulator.closeConnection();
    ASSERT_TRUE(platform::WaitUntil(
        [&] { return link.inProcess.count("Disconnected from HL driver") == 1; }, Generous));

    std::vector<std::vector<std::string>> expected = {Printed("Connected to HL driver", 0, 0)};
    for (const EventRow& row : TenEvents())
        expected.push_back(
            Printed(row.notification.name, row.notification.wParam, row.notification.lParam));
    expected.push_back(Printed("Disconnected from HL driver", 0, 0));

    ASSERT_TRUE(monitor.waitFor(VARNEL_BUS_INTERFACE, 12)) << monitor.output();
    const auto received = monitor.signalsOf(VARNEL_BUS_INTERFACE);
    EXPECT_EQ(ArgumentsOf(received), expected) << monitor.output();
    for (const auto& s : received) {
        EXPECT_EQ(s.path, VARNEL_BUS_PATH);
        EXPECT_EQ(s.member, VARNEL_BUS_SIGNAL);
    }
    // The events in the process came in the same order with the same numbers.
    const auto heard = link.heardInProcess();
    ASSERT_EQ(heard.size(), TenEvents().size());
    for (size_t i = 0; i < heard.size(); ++i) {
        EXPECT_EQ(heard[i].name, TenEvents()[i].notification.name);
        EXPECT_EQ(heard[i].wParam, TenEvents()[i].notification.wParam);
        EXPECT_EQ(heard[i].lParam, TenEvents()[i].notification.lParam);
    }
    ASSERT_TRUE(platform::WaitUntil([&] { return !status.reports.empty(); }, Generous));
    EXPECT_EQ(status.reports[0].state, platform::BusStatus::State::Connected)
        << status.reports[0].detail;
    EXPECT_EQ(status.reports[0].busName, VARNEL_BUS_NAME);
}

TEST(BusNotifications, WithoutABusTheLinkWorksAsBeforeAndSaysSoOnce) {
    test_support::TempDir nowhere;
    const std::string missing = "unix:path=" + nowhere.file("no-bus-here");
    test_support::SystemBusAddressOverride address(missing);
    StatusLog status;
    BusLink link;

    ASSERT_EQ(link.connect(), 0);
    for (const EventRow& row : TenEvents())
        ASSERT_TRUE(link.sendAndWait(row)) << row.kind;
    OutText room, st, field, stamp;
    EXPECT_GT((*link.varnel)->GetRoomState(room.ptr(), st.ptr(), field.ptr(), stamp.ptr()), 0);
    EXPECT_EQ(room.str(), "104");
    EXPECT_EQ((*link.varnel)->Disconnect(), 1);

    ASSERT_TRUE(platform::WaitUntil([&] { return !status.reports.empty(); }, Generous));
    platform::PumpMessages();
    ASSERT_EQ(status.reports.size(), 1u); // once, not at every notification
    EXPECT_EQ(status.reports[0].state, platform::BusStatus::State::Unavailable);
    EXPECT_NE(status.reports[0].detail.find(missing), std::string::npos)
        << status.reports[0].detail;
}

TEST(BusNotifications, ABusThatGoesAwayStopsNothingAndIsUsedAgainWhenItReturns) {
    test_support::TempDir policyDir;
    test_support::PrivateBus bus({bus_test::PolicyForThisProcess(policyDir)});
    test_support::SystemBusAddressOverride address(bus.address());
    std::optional<test_support::BusMonitor> monitor(std::in_place, bus.address(),
                                                    std::vector{bus_test::NotificationRule});
    StatusLog status;
    BusLink link;
    ASSERT_EQ(link.connect(), 0);
    ASSERT_TRUE(link.sendAndWait(TenEvents()[0]));
    ASSERT_TRUE(monitor->waitFor(VARNEL_BUS_INTERFACE, 2)) << monitor->output();
    using State = platform::BusStatus::State;

    // The link notices the closed connection at once; the next notification after
    // the daemon is back connects again.
    bus.kill();
    ASSERT_TRUE(
        platform::WaitUntil([&] { return status.count(State::Unavailable) == 1; }, Generous));
    bus.restart();
    monitor.emplace(bus.address(), std::vector{bus_test::NotificationRule});
    ASSERT_TRUE(link.sendAndWait(TenEvents()[3]));
    ASSERT_TRUE(monitor->waitFor(VARNEL_BUS_INTERFACE, 1)) << monitor->output();
    EXPECT_EQ(monitor->signalsOf(VARNEL_BUS_INTERFACE)[0].arguments,
              Printed("Room status event from HL driver", 0, 104));
    ASSERT_TRUE(platform::WaitUntil([&] { return status.count(State::Connected) == 2; }, Generous));

    // Gone again: every notification and command goes on in the process, and the
    // outage is reported once however many signals are dropped.
    bus.kill();
    for (const EventRow& row : TenEvents())
        ASSERT_TRUE(link.sendAndWait(row)) << row.kind;
    OutText message;
    EXPECT_EQ((*link.varnel)->CheckOut("101", message.ptr(), 1), 0) << message.str();
    ASSERT_TRUE(
        platform::WaitUntil([&] { return status.count(State::Unavailable) == 2; }, Generous));
    platform::PumpMessages();
    EXPECT_EQ(status.count(State::Unavailable), 2u);
}

TEST(BusNotifications, AHungBusHoldsUpNothingAndGetsItsSignalsWhenItWakes) {
    test_support::TempDir policyDir;
    test_support::PrivateBus bus({bus_test::PolicyForThisProcess(policyDir)});
    test_support::SystemBusAddressOverride address(bus.address());
    test_support::BusMonitor monitor(bus.address(), {bus_test::NotificationRule});
    BusLink link;
    ASSERT_EQ(link.connect(), 0);
    ASSERT_TRUE(monitor.waitFor(VARNEL_BUS_INTERFACE, 1)) << monitor.output();

    // A stopped daemon reads nothing: a blocking send would hang the link here.
    bus.pause();
    for (const EventRow& row : TenEvents())
        ASSERT_TRUE(link.sendAndWait(row)) << row.kind;
    OutText message;
    EXPECT_EQ((*link.varnel)->CheckOut("101", message.ptr(), 1), 0) << message.str();
    bus.resume();

    ASSERT_TRUE(monitor.waitFor(VARNEL_BUS_INTERFACE, 11)) << monitor.output();
    const auto received = monitor.signalsOf(VARNEL_BUS_INTERFACE);
    for (size_t i = 0; i < TenEvents().size(); ++i) {
        const Expected& e = TenEvents()[i].notification;
        EXPECT_EQ(received[i + 1].arguments, Printed(e.name, e.wParam, e.lParam));
    }
}

TEST(BusNotifications, ALibraryLoadedWhileTheBusHangsConnectsAtOnceAndReportsTheBus) {
    test_support::TempDir policyDir;
    test_support::PrivateBus bus({bus_test::PolicyForThisProcess(policyDir)});
    test_support::SystemBusAddressOverride address(bus.address());
    bus.pause();
    StatusLog status;
    BusLink link;
    ASSERT_EQ(link.connect(), 0);
    for (const EventRow& row : TenEvents())
        ASSERT_TRUE(link.sendAndWait(row)) << row.kind;
    // The bus never answered the connection: reported once its answer wait is over.
    ASSERT_TRUE(platform::WaitUntil(
        [&] { return status.count(platform::BusStatus::State::Unavailable) > 0; },
        platform::BusSignalChannel::AnswerWaitMs + Generous));
    EXPECT_EQ(status.reports[0].detail.find("no answer from " + bus.address()), 0u)
        << status.reports[0].detail;
    bus.resume();
}

} // namespace
