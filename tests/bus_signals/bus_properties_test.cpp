// Read-only objects served on a signal channel's connection, read from another
// connection with ReadBusProperties: every value type arrives as served and is read
// afresh once per request; a missing bus, a hung bus, a name nobody owns and an owner
// that does not dispatch are told apart within the deadline; after the bus restarts
// the object is served again without anything being sent.
#include "bus_fixture.h"

#include "platform/bus_properties.h"
#include "platform/bus_signals.h"
#include "platform/tick_count.h"
#include "test_support/private_bus.h"
#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using platform::BusPropertiesAnswer;
using platform::BusProperty;
using platform::BusSignalChannel;
using Outcome = BusPropertiesAnswer::Outcome;

constexpr const char* Name = "test.Served";
constexpr const char* Path = "/test/served";
constexpr const char* Interface = "test.Served1";

// Lets everybody own the test's name and call it.
std::string ServedPolicy(const test_support::TempDir& dir) {
    const std::string path = dir.file("served.conf");
    test_support::WriteFile(path, std::string("<busconfig><policy context=\"default\">"
                                              "<allow own=\"") +
                                      Name + "\"/><allow send_destination=\"" + Name +
                                      "\"/></policy></busconfig>\n");
    return path;
}

// Reads in a thread of its own; this thread dispatches meanwhile (serving the object)
// unless told not to.
BusPropertiesAnswer ReadFromAnotherConnection(uint32_t timeoutMs, bool dispatch = true) {
    std::atomic<bool> done = false;
    BusPropertiesAnswer answer;
    std::thread reader([&] {
        answer = platform::ReadBusProperties(Name, Path, Interface, timeoutMs);
        done = true;
    });
    if (dispatch)
        bus_test::WaitPolling([&] { return done.load(); }, timeoutMs + 30000);
    reader.join();
    return answer;
}

struct Served {
    int64_t reads = 0;
    BusSignalChannel channel{Name};
    Served() {
        channel.publish(Path, Interface, [this] {
            ++reads;
            return std::vector<BusProperty>{
                {"Flag", true},
                {"Reads", reads},
                {"Text", std::string("caf\xE9 ok")}, // a code-page byte
                {"List", std::vector<std::string>{"one", "two"}},
                {"Map", std::map<std::string, std::string>{{"a.b", "1"}, {"c", ""}}},
            };
        });
    }
    // The name is granted once a read finds an owner; asks again every 100 ms, for
    // up to 30 s.
    bool waitUntilServing() {
        const uint32_t start = platform::TickCount();
        while (platform::TicksSince(start) < 30000) {
            if (ReadFromAnotherConnection(5000).outcome == Outcome::Read)
                return true;
            bus_test::WaitPolling([] { return false; }, 100);
        }
        return false;
    }
};

TEST(BusProperties, EveryTypeArrivesAsServedAndIsReadOncePerRequest) {
    test_support::TempDir dir;
    test_support::PrivateBus bus({ServedPolicy(dir)});
    test_support::SystemBusAddressOverride address(bus.address());
    Served served;
    ASSERT_TRUE(served.waitUntilServing());

    const int64_t before = served.reads;
    const BusPropertiesAnswer answer = ReadFromAnotherConnection(5000);
    ASSERT_EQ(answer.outcome, Outcome::Read) << answer.detail;
    EXPECT_EQ(served.reads, before + 1); // one read for all five properties
    const std::vector<BusProperty> expected = {
        {"Flag", true},
        {"Reads", before + 1},
        {"Text", std::string("caf\xEF\xBF\xBD ok")}, // made UTF-8, not refused
        {"List", std::vector<std::string>{"one", "two"}},
        {"Map", std::map<std::string, std::string>{{"a.b", "1"}, {"c", ""}}},
    };
    EXPECT_EQ(answer.properties, expected);
}

TEST(BusProperties, EachReasonForNoAnswerIsToldApartWithinTheDeadline) {
    test_support::TempDir dir;
    {
        SCOPED_TRACE("no bus");
        const std::string missing = "unix:path=" + dir.file("no-bus");
        test_support::SystemBusAddressOverride address(missing);
        const auto answer = ReadFromAnotherConnection(1000);
        EXPECT_EQ(answer.outcome, Outcome::NoBus);
        EXPECT_NE(answer.detail.find("cannot connect to the system bus at " + missing),
                  std::string::npos)
            << answer.detail;
    }
    test_support::PrivateBus bus({ServedPolicy(dir)});
    test_support::SystemBusAddressOverride address(bus.address());
    {
        SCOPED_TRACE("nobody owns the name");
        const auto answer = ReadFromAnotherConnection(5000);
        EXPECT_EQ(answer.outcome, Outcome::NoOwner);
        EXPECT_EQ(answer.detail, std::string("nobody owns ") + Name + " on " + bus.address());
    }
    {
        SCOPED_TRACE("the bus hangs");
        bus.pause();
        const auto answer = ReadFromAnotherConnection(1000);
        bus.resume();
        EXPECT_EQ(answer.outcome, Outcome::NoBus);
        EXPECT_NE(answer.detail.find("did not answer within 1 s"), std::string::npos)
            << answer.detail;
    }
    Served served;
    ASSERT_TRUE(served.waitUntilServing());
    {
        SCOPED_TRACE("the owner does not dispatch");
        const auto answer = ReadFromAnotherConnection(1000, false);
        EXPECT_EQ(answer.outcome, Outcome::NoAnswer);
        EXPECT_EQ(answer.detail, std::string(Name) + " did not answer within 1 s");
    }
}

TEST(BusProperties, AfterTheBusRestartsTheObjectIsServedAgain) {
    test_support::TempDir dir;
    test_support::PrivateBus bus({ServedPolicy(dir)});
    test_support::SystemBusAddressOverride address(bus.address());
    Served served;
    ASSERT_TRUE(served.waitUntilServing());

    bus.restart();
    // Nothing is sent meanwhile: the channel tries the bus again of its own accord.
    EXPECT_TRUE(served.waitUntilServing());
}

} // namespace
