// How the serial port shares a device with other programs: the terminal's
// exclusive mode of another program is respected also by root and never
// cleared by us, and the UUCP lock file in /run/lock is taken, respected when
// its process lives and removed when it is stale.
#include "platform/error.h"
#include "platform/serial_port.h"
#include "platform/uucp_lock.h"

#include "pseudo_terminal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace platform;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string LockText(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", int(pid));
    return text;
}

// A lock file the test writes for another program, removed at the end.
class ForeignLock {
public:
    ForeignLock(const std::string& device, const std::string& text)
        : path_(UucpLock::PathFor(device)) {
        std::ofstream(path_) << text;
    }
    ~ForeignLock() { std::filesystem::remove(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Another program: a child process that waits until it is killed.
class OtherProgram {
public:
    OtherProgram() {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execlp("sleep", "sleep", "600", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Until the child is that program, the lock would name the test itself.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (ReadFile("/proc/" + std::to_string(pid_) + "/comm") != "sleep\n" &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~OtherProgram() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// The PID of a process that has ended.
pid_t EndedProcess() {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

class DeviceLockTest : public testing::Test {
protected:
    void SetUp() override {
        if (::access(UucpLock::kDirectory, W_OK) != 0)
            GTEST_SKIP() << UucpLock::kDirectory << " cannot be written here";
    }

    PseudoTerminal pty; // each test its own device, so its own lock name
};

TEST(DeviceLockName, FollowsTheDeviceNameBelowDev) {
    EXPECT_EQ(UucpLock::PathFor("/dev/ttyS98"), "/run/lock/LCK..ttyS98");
    EXPECT_EQ(UucpLock::PathFor("/dev/pts/98"), "/run/lock/LCK..pts_98");
    EXPECT_EQ(UucpLock::PathFor("/nonexistent/ttyUSB9"), "/run/lock/LCK..ttyUSB9");

    // A link names the device it points to, as another program would see it.
    PseudoTerminal pty;
    const std::string link = testing::TempDir() + "modem-link-" + std::to_string(::getpid());
    std::filesystem::remove(link);
    std::filesystem::create_symlink(pty.slavePath(), link);
    EXPECT_EQ(UucpLock::PathFor(link), UucpLock::PathFor(pty.slavePath()));
    std::filesystem::remove(link);
}

TEST_F(DeviceLockTest, AnOpenPortHoldsTheLockFileWithItsPid) {
    const std::string lock = UucpLock::PathFor(pty.slavePath());
    {
        SerialPort port;
        port.open(pty.slavePath());
        EXPECT_EQ(port.lockFile(), lock);
        EXPECT_EQ(ReadFile(lock), LockText(::getpid()));

        SerialPort moved = std::move(port);
        EXPECT_TRUE(std::filesystem::exists(lock));
        moved.close();
        EXPECT_FALSE(std::filesystem::exists(lock));
        moved.open(pty.slavePath());
    } // destroyed open
    EXPECT_FALSE(std::filesystem::exists(lock));
}

TEST_F(DeviceLockTest, ALiveProgramsLockRefusesTheDeviceAndNamesIt) {
    OtherProgram other;
    ForeignLock lock(pty.slavePath(), LockText(other.pid()));
    SerialPort port;
    try {
        port.open(pty.slavePath());
        FAIL() << "opened a device another program has locked";
    } catch (const SharingViolation& e) {
        const std::string text = e.what();
        EXPECT_EQ(e.code(), EBUSY);
        EXPECT_NE(text.find("\"" + pty.slavePath() + "\""), std::string::npos) << text;
        EXPECT_NE(text.find("process " + std::to_string(other.pid()) + " (sleep)"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find(lock.path()), std::string::npos) << text;
    }
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(ReadFile(lock.path()), LockText(other.pid())); // left as it was
}

TEST_F(DeviceLockTest, AStaleLockIsRemovedAndTheDeviceTaken) {
    for (const std::string& stale :
         {LockText(EndedProcess()), std::string("garbage\n"), std::string()}) {
        SCOPED_TRACE(stale);
        ForeignLock lock(pty.slavePath(), stale);
        SerialPort port;
        ASSERT_NO_THROW(port.open(pty.slavePath()));
        EXPECT_EQ(ReadFile(lock.path()), LockText(::getpid()));
        port.close();
        EXPECT_FALSE(std::filesystem::exists(lock.path()));
    }
}

TEST_F(DeviceLockTest, ALockTakenOverByAnotherProgramIsNotRemovedAtClose) {
    SerialPort port;
    port.open(pty.slavePath());
    // Someone removed our lock as stale and another program took the device's lock.
    OtherProgram other;
    ForeignLock lock(pty.slavePath(), LockText(other.pid()));
    port.close();
    EXPECT_EQ(ReadFile(lock.path()), LockText(other.pid()));
}

// CI runs as root, whose open passes a terminal's exclusive mode: the mode is
// read back and respected, and it stays the other program's.
TEST_F(DeviceLockTest, AnotherProgramsExclusiveModeIsRespectedAndKept) {
    const int other = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::ioctl(other, TIOCEXCL), 0);

    SerialPort port;
    try {
        port.open(pty.slavePath());
        FAIL() << "opened a device another program holds exclusively";
    } catch (const SharingViolation& e) {
        EXPECT_EQ(e.code(), EBUSY);
        EXPECT_NE(std::string(e.what()).find(pty.slavePath()), std::string::npos) << e.what();
    }
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(std::filesystem::exists(UucpLock::PathFor(pty.slavePath())));
    int exclusive = 0;
    ASSERT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);

    ::ioctl(other, TIOCNXCL);
    ::close(other);
    EXPECT_NO_THROW(port.open(pty.slavePath()));
}

} // namespace
