// One host per state folder: a lock file ("pbxhost.lock", holding the owner's
// PID) that a running pbxhost, or an --edit of its configuration, holds with
// an exclusive flock for its whole life. The kernel drops the lock when the
// process ends in any way, so a stale file never blocks a start.
#pragma once

#include <stdexcept>
#include <string>

namespace host {

// The lock is held by another process, or the file cannot be used; the
// message names the file and, when known, the holder's PID.
class ELockError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class StateLock {
public:
    static constexpr const char* kFileName = "pbxhost.lock";

    // Takes the lock in `folder` (which must exist) or raises ELockError.
    explicit StateLock(const std::string& folder);
    ~StateLock();
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

} // namespace host
