#include "pseudo_terminal.h"

#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

PseudoTerminal::PseudoTerminal() {
    char name[256];
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath_ = name;
}

PseudoTerminal::~PseudoTerminal() {
    closeMaster();
    ::close(slave_);
}

termios PseudoTerminal::slaveSettings() const {
    termios t{};
    if (::tcgetattr(slave_, &t) != 0)
        throw std::runtime_error("tcgetattr failed");
    return t;
}

int PseudoTerminal::slaveInputCount() const {
    int n = 0;
    ::ioctl(slave_, FIONREAD, &n);
    return n;
}

void PseudoTerminal::send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            throw std::runtime_error("write to the pseudo-terminal master failed");
        done += size_t(n);
    }
}

std::string PseudoTerminal::receive(std::chrono::milliseconds first,
                                    std::chrono::milliseconds quiet) {
    std::string bytes;
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        const auto wait = bytes.empty() ? first : quiet;
        if (::poll(&p, 1, int(wait.count())) <= 0 || !(p.revents & POLLIN))
            return bytes;
        char buffer[4096];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0)
            return bytes;
        bytes.append(buffer, size_t(n));
    }
}

bool PseudoTerminal::waitForSlaveInput(int count) const {
    // The kernel hands master writes to the slave asynchronously.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (slaveInputCount() < count) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void PseudoTerminal::closeMaster() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}
