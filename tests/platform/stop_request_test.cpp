// A stop request ends every kind of wait the main thread can be in: event-loop
// waits at any depth of nesting, and serial reads blocked in poll(), when it is
// raised from another thread, as the host's signal thread does.
#include "platform/error.h"
#include "platform/event_loop.h"
#include "platform/serial_port.h"
#include "platform/stop_request.h"

#include "pseudo_terminal.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using namespace platform;

namespace {

using Clock = std::chrono::steady_clock;

struct StopRequestGuard {
    ~StopRequestGuard() { ClearStopRequest(); }
};

// Whether thread `tid` of this process is blocked in poll() or ppoll() (the
// event dispatcher may use either).
bool BlockedInPoll(pid_t tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
    long current = -1;
    return (in >> current) && (current == SYS_poll || current == SYS_ppoll);
}

// Raises the stop request from a thread of its own once thread `tid` blocks in
// poll(), so the test knows the wait was under way, not yet to begin.
std::thread StopWhenPolling(pid_t tid) {
    return std::thread([tid] {
        const auto until = Clock::now() + std::chrono::seconds(60);
        while (!BlockedInPoll(tid) && Clock::now() < until)
            std::this_thread::yield();
        RequestStop();
    });
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

TEST(StopRequest, EndsNestedEventLoopWaitsWithTheirPredicatesValue) {
    StopRequestGuard guard;
    const pid_t self = pid_t(::syscall(SYS_gettid));
    std::thread raiser;
    bool innerResult = true;
    bool innerRan = false;
    QTimer::singleShot(0, [&] {
        // A command's wait inside a timer slot inside the manager's wait.
        raiser = StopWhenPolling(self);
        innerResult = WaitUntil([] { return false; }, 600000);
        innerRan = true;
    });
    const auto start = Clock::now();
    const bool outerResult = WaitUntil([&] { return false; }, 600000);
    raiser.join();
    EXPECT_TRUE(innerRan);
    EXPECT_FALSE(innerResult);
    EXPECT_FALSE(outerResult);
    EXPECT_LT(SecondsSince(start), 300.0) << "the waits ran to their deadline";

    // Waits that begin after the request do not block, and still answer the
    // predicate's value.
    EXPECT_TRUE(StopRequested());
    EXPECT_TRUE(WaitUntil([] { return true; }, 600000));
    EXPECT_FALSE(WaitUntil([] { return false; }, 600000));
}

TEST(StopRequest, EndsASerialReadBlockedInPollAndTheLineWorksOnceTakenBack) {
    StopRequestGuard guard;
    PseudoTerminal terminal;
    SerialPort port;
    port.open(terminal.slavePath());
    SerialTimeouts timeouts;
    timeouts.ReadTotalTimeoutConstant = 600000; // the modem's answer never comes
    port.setTimeouts(timeouts);

    std::thread raiser = StopWhenPolling(pid_t(::syscall(SYS_gettid)));
    const auto start = Clock::now();
    char buffer[8] = {};
    try {
        port.read(buffer, sizeof buffer);
        ADD_FAILURE() << "the read ended without an error";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ECANCELED);
        EXPECT_NE(std::string(e.what()).find("the program is stopping"), std::string::npos)
            << e.what();
    }
    raiser.join();
    EXPECT_LT(SecondsSince(start), 300.0) << "the read ran to its time-out";

    ClearStopRequest();
    terminal.send("OK\r\n");
    timeouts.ReadTotalTimeoutConstant = 20000;
    port.setTimeouts(timeouts);
    EXPECT_EQ(port.read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "OK\r\n");
}
