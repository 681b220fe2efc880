// The lock file by which Linux serial programs tell each other that a device
// is in use: /run/lock/LCK..<device name>, holding the owner's PID as ten
// characters and a line feed. A lock whose process is gone is stale and is
// removed; one of a live process refuses the device, naming that process.
#pragma once

#include <string>

namespace platform {

class UucpLock {
public:
    static constexpr const char* kDirectory = "/run/lock";

    // The lock file for a device: the device's name below /dev with every "/"
    // as "_" ("/dev/ttyS0" gives LCK..ttyS0, "/dev/pts/7" LCK..pts_7), the
    // file name for a device elsewhere. A symbolic link such as /dev/modem
    // counts as the device it points to, as other programs see it.
    static std::string PathFor(const std::string& devicePath);

    UucpLock() = default;
    // Releases a lock still held.
    ~UucpLock();
    UucpLock(UucpLock&& other) noexcept;
    UucpLock& operator=(UucpLock&& other) noexcept;
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;

    // Takes the device's lock for this process. Raises SharingViolation (EBUSY)
    // naming the device, the lock file and the process holding it when a live
    // process does (this one included, for a second port on the device). Where
    // the lock directory is missing or cannot be written, no lock is taken, but
    // a lock that is there is still respected.
    void acquire(const std::string& devicePath);
    // Removes the lock file when it still names this process. Never throws.
    void release() noexcept;
    bool held() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

private:
    std::string path_; // the lock file taken; empty when none
};

} // namespace platform
