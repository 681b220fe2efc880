// A long stream of driver events at a real driver's pace, on a small stack: the
// hl-driver-sim program sends each frame only after the library acknowledged the one
// before, as a driver does with the backlog it kept during an outage. The library runs
// in this process the way pbxhost runs it (loaded with dlopen, events fetched and
// deleted as their notifications arrive).
#include "varnel_library.h"

#include "platform/event_loop.h"
#include "platform/messages.h"
#include "test_support/temp_dir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace varnel_test;

namespace {

constexpr size_t Frames = 100000;
constexpr rlim_t SmallStack = 256 * 1024;

// Lowers this thread's stack limit for the object's life. The main thread's stack
// grows on demand up to the limit in force at the time, so a handler that nests one
// level per frame runs out after a few hundred frames.
class SmallStackLimit {
public:
    explicit SmallStackLimit(rlim_t bytes) {
        getrlimit(RLIMIT_STACK, &old_);
        rlimit small = old_;
        small.rlim_cur = bytes;
        set_ = setrlimit(RLIMIT_STACK, &small) == 0;
    }
    ~SmallStackLimit() {
        if (set_)
            setrlimit(RLIMIT_STACK, &old_);
    }
    bool set() const { return set_; }

private:
    rlimit old_{};
    bool set_ = false;
};

// Every change of a queue is a synced rewrite of its file; on a memory file system
// that costs next to nothing, so the run measures the link and not the disk.
std::string FastFolder(const test_support::TempDir& fallback) {
    char shm[] = "/dev/shm/varnel-stream-XXXXXX";
    if (access("/dev/shm", W_OK) == 0 && mkdtemp(shm))
        return std::string(shm) + "/";
    return fallback.path() + "/queues/";
}

} // namespace

TEST(PacedStream, AHundredThousandFramesOneAtATimeAreQueuedOnceAndInOrder) {
    test_support::TempDir dir;
    const std::string folder = FastFolder(dir);
    test_support::WriteFile(dir.file("backlog.txt"),
                            "wait connect timeout=60000\n"
                            "repeat " +
                                std::to_string(Frames) +
                                " send ticket line=101 type=1 duration=00042 f20=$n\n");
    QProcess driver;
    driver.start(HL_DRIVER_SIM, {"--port", "0", "--quiet", "--no-stdin", "--script",
                                 QString::fromStdString(dir.file("backlog.txt"))});
    ASSERT_TRUE(driver.waitForReadyRead(20000));
    const std::string first = driver.readLine().toStdString();
    ASSERT_EQ(first.rfind("hl-driver-sim listening on 127.0.0.1:", 0), 0u) << first;
    const std::string port =
        first.substr(first.rfind(':') + 1, first.find('\n') - first.rfind(':') - 1);

    VarnelLibrary varnel;
    // Fetch and delete each out-call ticket when it is announced, as the adapter does;
    // its 20-character field carries the frame's number.
    std::vector<long> seen;
    seen.reserve(Frames);
    bool deleteFailed = false;
    const uint32_t outTicket = platform::RegisterMessage("Ticket for outgoing call from HL driver");
    platform::MessageHook drain([&](const platform::Message& m, bool&) {
        if (m.id != outTicket)
            return;
        for (;;) {
            OutText line, type, time, duration, f4, f20, stamp;
            const int32_t key =
                varnel->GetOutTicket(line.ptr(), type.ptr(), time.ptr(), duration.ptr(), f4.ptr(),
                                     f20.ptr(), stamp.ptr());
            if (key < 0)
                return;
            seen.push_back(std::stol(f20.str()));
            deleteFailed = deleteFailed || varnel->DeleteOutTicket(key) != 0;
        }
    });

    SmallStackLimit stack(SmallStack);
    ASSERT_TRUE(stack.set());
    OutText message;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(varnel->Connect("127.0.0.1", port.c_str(), folder.c_str(), message.ptr()), 0)
        << message.str();
    // A generous deadline: the run takes some seconds (see bench/README.md).
    platform::WaitUntil(
        [&] { return seen.size() >= Frames || driver.state() != QProcess::Running; }, 600000);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu frames in %.1f s, %.0f frames/s\n", seen.size(), seconds,
                double(seen.size()) / seconds);

    ASSERT_EQ(seen.size(), Frames);
    EXPECT_FALSE(deleteFailed);
    size_t outOfPlace = 0;
    for (size_t i = 0; i < seen.size(); ++i)
        outOfPlace += seen[i] == long(i + 1) ? 0 : 1;
    EXPECT_EQ(outOfPlace, 0u);
    EXPECT_EQ(test_support::ReadFile(folder + "TicketsOut.txt"), "");

    varnel->Disconnect();
    driver.terminate();
    driver.waitForFinished(20000);
    if (folder.rfind("/dev/shm/", 0) == 0)
        std::filesystem::remove_all(folder);
}
