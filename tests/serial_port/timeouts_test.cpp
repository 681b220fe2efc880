#include "platform/serial_port.h"

#include "pseudo_terminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <thread>

using namespace platform;
using namespace std::chrono;

namespace {

constexpr uint32_t kMax = SerialTimeouts::kMaxTimeout;

struct ReadCase {
    const char* name;
    SerialTimeouts timeouts;
    std::string waiting; // bytes sent before the read
    size_t count;
    size_t expected;
    long minMs; // lower bound of the read's duration
    long maxMs; // a generous upper bound: the read must not wait for a longer limit
};

// Test listings name a row by its name, not by its bytes.
void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadTimeouts : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadTimeouts, EndTheReadWithWhatCame) {
    const ReadCase& c = GetParam();
    PseudoTerminal pty;
    SerialPort port;
    port.open(pty.slavePath());
    port.setTimeouts(c.timeouts);
    if (!c.waiting.empty()) {
        pty.send(c.waiting);
        ASSERT_TRUE(pty.waitForSlaveInput(int(c.waiting.size())));
    }
    std::string buffer(c.count, '\0');
    const auto start = steady_clock::now();
    const size_t got = port.read(buffer.data(), c.count);
    const long ms = long(duration_cast<milliseconds>(steady_clock::now() - start).count());
    EXPECT_EQ(got, c.expected);
    EXPECT_EQ(buffer.substr(0, got), c.waiting.substr(0, got));
    EXPECT_GE(ms, c.minMs);
    EXPECT_LT(ms, c.maxMs);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadTimeouts,
    testing::Values(
        // The stream's setting: one byte on a silent line gives up after 50 + 300 ms.
        ReadCase{"OneByteOnASilentLine", {300, 50, 300, 50, 300}, "", 1, 0, 350, 5000},
        ReadCase{"MultiplierCountsPerByte", {0, 100, 0, 0, 0}, "", 4, 0, 400, 5000},
        ReadCase{"AllBytesThereReturnsAtOnce", {300, 50, 20000, 0, 0}, "ATOK", 4, 4, 0, 10000},
        // A gap after the last byte ends the read long before the total time-out.
        ReadCase{
            "IntervalEndsAfterTheLastByte", {300, 0, 20000, 0, 0}, "OK\r\n", 64, 4, 300, 10000},
        ReadCase{
            "IntervalDoesNotStartBeforeTheFirstByte", {100, 0, 600, 0, 0}, "", 8, 0, 600, 5000},
        ReadCase{"MaxIntervalAloneReturnsWhatIsWaiting", {kMax, 0, 0, 0, 0}, "AT", 10, 2, 0, 10000},
        ReadCase{"MaxIntervalOnEmptyLineReturnsNothing", {kMax, 0, 0, 0, 0}, "", 10, 0, 0, 10000},
        ReadCase{
            "WaitForAnyByteReturnsOnTheFirst", {kMax, kMax, 20000, 0, 0}, "xy", 10, 2, 0, 10000},
        ReadCase{"WaitForAnyByteGivesUpAfterTheConstant",
                 {kMax, kMax, 400, 0, 0},
                 "",
                 10,
                 0,
                 400,
                 5000}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST(ReadTimeouts, AllZeroWaitsForEveryByte) {
    PseudoTerminal pty;
    SerialPort port;
    port.open(pty.slavePath());
    port.setTimeouts({});
    std::thread peer([&pty] {
        pty.send("AT");
        std::this_thread::sleep_for(milliseconds(500)); // a pause the read must outlast
        pty.send("H\r");
    });
    std::string buffer(4, '\0');
    const size_t got = port.read(buffer.data(), 4);
    peer.join();
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(buffer, "ATH\r");
}

TEST(WriteTimeouts, AStalledLineEndsTheWriteWithTheCountWritten) {
    PseudoTerminal pty; // nobody reads the master side, so its buffer fills up
    SerialPort port;
    port.open(pty.slavePath());
    port.setTimeouts({0, 0, 0, 0, 300});
    const std::string block(1 << 20, 'x');
    const auto start = steady_clock::now();
    const size_t written = port.write(block.data(), block.size());
    const auto ms = duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, block.size());
    EXPECT_GE(ms, 300);
    EXPECT_LT(ms, 10000);
    // The count is exact: the far end gets that many bytes and no more.
    EXPECT_EQ(pty.receive().size(), written);
}

} // namespace
