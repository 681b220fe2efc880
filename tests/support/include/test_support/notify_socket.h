// A datagram socket that stands for systemd's notification socket: a test
// binds it, hands its path to a program as NOTIFY_SOCKET and reads what the
// program reports (READY=1, WATCHDOG=1, STATUS=...).
#pragma once

#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace test_support {

class NotifySocket {
public:
    explicit NotifySocket(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~NotifySocket() { ::close(fd_); }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    bool bound() const { return bound_; }

    // Every message received so far, oldest first.
    const std::vector<std::string>& messages() {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0;)
            messages_.emplace_back(buffer, size_t(n));
        return messages_;
    }
    // How many messages hold `part`.
    size_t count(const std::string& part) {
        size_t n = 0;
        for (const auto& m : messages())
            n += m.find(part) != std::string::npos ? 1 : 0;
        return n;
    }
    // The last STATUS= line received, empty before the first.
    std::string lastStatus() {
        std::string status;
        for (const auto& m : messages()) {
            const size_t at = m.find("STATUS=");
            if (at != std::string::npos)
                status = m.substr(at + 7, m.find('\n', at) - (at + 7));
        }
        return status;
    }

private:
    int fd_ = -1;
    bool bound_ = false;
    std::vector<std::string> messages_;
};

} // namespace test_support
