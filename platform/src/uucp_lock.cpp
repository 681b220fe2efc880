#include "platform/uucp_lock.h"

#include "platform/error.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Tries before giving up on a lock that keeps coming back stale: another
// program cleaning up at the same moment.
constexpr int kAttempts = 3;

// The PID a lock file holds: ASCII digits with blanks around them.
std::optional<pid_t> LockOwner(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    long pid = 0;
    if (!(in >> pid) || pid <= 0 || pid > INT_MAX)
        return pid_t(0); // there, but unreadable: nobody can be asked
    return pid_t(pid);
}

bool Alive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

std::string ProgramName(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

[[noreturn]] void Refuse(const std::string& devicePath, const std::string& lockPath, pid_t pid) {
    std::string holder;
    if (pid == ::getpid()) {
        holder = "this program (process " + std::to_string(pid) + ")";
    } else {
        holder = "process " + std::to_string(pid);
        const std::string name = ProgramName(pid);
        if (!name.empty())
            holder += " (" + name + ")";
    }
    throw SharingViolation("Serial device \"" + devicePath + "\" is in use by " + holder +
                               ", as its lock file " + lockPath + " tells",
                           EBUSY);
}

// Refuses the device for a live owner; removes a stale lock and answers
// true when the way is free.
bool ClearStale(const std::string& devicePath, const std::string& lockPath) {
    const std::optional<pid_t> owner = LockOwner(lockPath);
    if (!owner)
        return true; // gone meanwhile
    if (*owner > 0 && Alive(*owner))
        Refuse(devicePath, lockPath, *owner);
    // Dead owner or no readable owner: left behind by a program that ended.
    return ::unlink(lockPath.c_str()) == 0 || errno == ENOENT;
}

} // namespace

std::string UucpLock::PathFor(const std::string& devicePath) {
    std::string device = devicePath;
    if (char* real = ::realpath(devicePath.c_str(), nullptr)) {
        device = real;
        std::free(real);
    }
    std::string name;
    if (device.rfind("/dev/", 0) == 0) {
        name = device.substr(5);
        for (char& c : name)
            if (c == '/')
                c = '_';
    } else {
        const size_t slash = device.find_last_of('/');
        name = slash == std::string::npos ? device : device.substr(slash + 1);
    }
    return std::string(kDirectory) + "/LCK.." + name;
}

UucpLock::~UucpLock() {
    release();
}

UucpLock::UucpLock(UucpLock&& other) noexcept : path_(std::move(other.path_)) {
    other.path_.clear();
}

UucpLock& UucpLock::operator=(UucpLock&& other) noexcept {
    if (this != &other) {
        release();
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

void UucpLock::acquire(const std::string& devicePath) {
    release();
    const std::string lockPath = PathFor(devicePath);
    // Written in full under a name of its own, then linked to the lock's name:
    // nobody ever reads a half-written lock, and of two programs linking at
    // once only one succeeds.
    std::string temp = std::string(kDirectory) + "/LTMP.XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        // No lock directory to write (not there, read-only, not ours): take
        // no lock, but do not walk past one that is there.
        ClearStale(devicePath, lockPath);
        return;
    }
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10d\n", int(::getpid()));
    const bool written = ::fchmod(fd, 0644) == 0 && ::write(fd, text, size_t(length)) == length;
    const int writeError = errno;
    ::close(fd);
    if (!written) {
        ::unlink(temp.c_str());
        throw Error("Cannot write the lock file " + temp + " for serial device \"" + devicePath +
                        "\": " + SystemErrorText(writeError),
                    writeError);
    }
    try {
        for (int attempt = 0;; ++attempt) {
            if (::link(temp.c_str(), lockPath.c_str()) == 0)
                break;
            const int code = errno;
            if (code != EEXIST)
                throw Error("Cannot create the lock file " + lockPath + " for serial device \"" +
                                devicePath + "\": " + SystemErrorText(code),
                            code);
            if (!ClearStale(devicePath, lockPath) || attempt + 1 == kAttempts)
                throw SharingViolation("Serial device \"" + devicePath +
                                           "\" is in use: its lock file " + lockPath +
                                           " cannot be taken",
                                       EBUSY);
        }
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    ::unlink(temp.c_str());
    path_ = lockPath;
}

void UucpLock::release() noexcept {
    if (path_.empty())
        return;
    // Only our own: a lock another program took after a stale-lock cleanup by
    // someone else is not ours to remove.
    const std::optional<pid_t> owner = LockOwner(path_);
    if (owner && *owner == ::getpid())
        ::unlink(path_.c_str());
    path_.clear();
}

} // namespace platform
