#include "state_lock.h"

#include "platform/error.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace {

std::string ReadPid(int fd) {
    char buffer[32] = {};
    const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
    std::string text(buffer, n > 0 ? size_t(n) : 0);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

StateLock::StateLock(const std::string& folder) : path_(folder + "/" + kFileName) {
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd_ < 0)
        throw ELockError("Cannot open the lock file " + path_ + ": " +
                         platform::SystemErrorText(errno));
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        const std::string pid = ReadPid(fd_);
        ::close(fd_);
        fd_ = -1;
        if (code == EWOULDBLOCK)
            throw ELockError("Another pbxhost" + (pid.empty() ? "" : " (PID " + pid + ")") +
                             " works on the state folder " + folder + ": it holds " + path_ +
                             "; stop it first (systemctl stop pbxhost)");
        throw ELockError("Cannot lock " + path_ + ": " + platform::SystemErrorText(code));
    }
    // A lock file that root made (an --edit as root) stays usable by the
    // service user who owns the folder.
    struct stat dir {};
    if (::geteuid() == 0 && ::stat(folder.c_str(), &dir) == 0) [[maybe_unused]]
        const int rc = ::fchown(fd_, dir.st_uid, dir.st_gid);
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd_, 0) == 0) [[maybe_unused]]
        const ssize_t n = ::pwrite(fd_, pid.data(), pid.size(), 0);
}

StateLock::~StateLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace host
