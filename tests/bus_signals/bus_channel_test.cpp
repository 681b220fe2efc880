// The platform's signal channel on a private system bus: signals sent before the
// connection is up or just before the channel goes still arrive; a name the bus
// refuses is reported and the signals go out all the same; a bus that reads nothing
// costs a bounded queue and is given up.
#include "bus_fixture.h"

#include "platform/bus_signals.h"
#include "platform/event_loop.h"
#include "test_support/private_bus.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using platform::BusSignal;
using platform::BusSignalChannel;
using platform::BusStatus;

constexpr const char* Interface = "test.Channel1";

BusSignal Numbered(uint32_t n) {
    return {"/test/channel", Interface, "Counted", {std::string("signal"), n, int32_t(-1)}};
}

struct StatusLog {
    std::vector<BusStatus> reports;
    platform::BusStatusWatch watch{[this](const BusStatus& s) { reports.push_back(s); }};
    bool waitFor(BusStatus::State state, uint32_t ms = 20000) {
        return platform::WaitUntil(
            [&] {
                for (const auto& r : reports)
                    if (r.state == state)
                        return true;
                return false;
            },
            ms);
    }
};

TEST(BusSignalChannel, SignalsSentWhileConnectingAndJustBeforeTheEndAllArrive) {
    test_support::PrivateBus bus;
    test_support::SystemBusAddressOverride address(bus.address());
    test_support::BusMonitor monitor(bus.address(), {std::string("interface='") + Interface + "'"});
    {
        BusSignalChannel channel("test.Channel");
        for (uint32_t n = 1; n <= 3; ++n)
            channel.send(Numbered(n)); // the connection is not even authenticated yet
    }                                  // gone at once: what it sent is written out after it
    ASSERT_TRUE(monitor.waitFor(Interface, 3)) << monitor.output();
    const auto received = monitor.signalsOf(Interface);
    for (uint32_t n = 1; n <= 3; ++n)
        EXPECT_EQ(received[n - 1].arguments,
                  (std::vector<std::string>{"string \"signal\"", "uint32 " + std::to_string(n),
                                            "int32 -1"}));
}

TEST(BusSignalChannel, ANameTheBusRefusesIsReportedAndTheSignalsStillGoOut) {
    test_support::PrivateBus bus; // the default rules: nobody may own a name
    test_support::SystemBusAddressOverride address(bus.address());
    test_support::BusMonitor monitor(bus.address(), {std::string("interface='") + Interface + "'"});
    StatusLog status;
    BusSignalChannel channel("test.Refused");
    channel.send(Numbered(7));
    ASSERT_TRUE(status.waitFor(BusStatus::State::NameNotOwned));
    EXPECT_EQ(status.reports[0].busName, "test.Refused");
    EXPECT_NE(status.reports[0].detail.find(bus.address()), std::string::npos)
        << status.reports[0].detail;
    EXPECT_TRUE(monitor.waitFor(Interface, 1)) << monitor.output();
}

TEST(BusSignalChannel, ABusThatReadsNothingIsGivenUpAfterABoundedQueue) {
    test_support::PrivateBus bus;
    test_support::SystemBusAddressOverride address(bus.address());
    StatusLog status;
    std::optional<BusSignalChannel> channel;
    channel.emplace("test.Channel");
    ASSERT_TRUE(status.waitFor(BusStatus::State::NameNotOwned));

    bus.pause();
    // Far more than the socket and the queue hold together: sending must neither
    // block nor keep them all.
    for (uint32_t n = 0; n < 50000; ++n)
        channel->send(Numbered(n));
    EXPECT_TRUE(status.waitFor(BusStatus::State::Unavailable));
    EXPECT_NE(status.reports.back().detail.find("reads no messages"), std::string::npos)
        << status.reports.back().detail;
    channel.reset();
    bus.resume();
}

} // namespace
