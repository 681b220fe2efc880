#include "modem_sim/modem_simulator.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace modem_sim {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

ModemSimulator::ModemSimulator(ModemBehaviour behaviour, Observer observer)
    : observer_(std::move(observer)), behaviour_(std::move(behaviour)) {
    char name[256];
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        Fail("Cannot open a pseudo-terminal");
    slavePath_ = name;
    // Until a user sets the line up, the slave must not echo or convert what the
    // modem sends.
    termios t{};
    if (::tcgetattr(slave_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(slave_, TCSANOW, &t);
    }
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) {
        const int code = errno;
        ::close(master_);
        ::close(slave_);
        errno = code;
        Fail("Cannot create an event descriptor");
    }
    thread_ = std::thread([this] { run(); });
}

ModemSimulator::~ModemSimulator() {
    stop();
    ::close(wake_);
}

void ModemSimulator::stop() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
        thread_.join();
    }
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}

void ModemSimulator::setBehaviour(ModemBehaviour behaviour) {
    std::lock_guard lock(mutex_);
    behaviour_ = std::move(behaviour);
}

std::vector<std::string> ModemSimulator::commandLines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::string ModemSimulator::receivedBytes() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool ModemSimulator::waitForLines(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return linesChanged_.wait_for(lock, timeout, [&] { return lines_.size() >= count; });
}

void ModemSimulator::run() {
    char buffer[4096];
    for (;;) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            handle(buffer, size_t(n));
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return; // the pseudo-terminal is gone
        }
    }
}

void ModemSimulator::handle(const char* bytes, size_t count) {
    std::string out;
    std::vector<Exchange> exchanges;
    {
        std::lock_guard lock(mutex_);
        const ModemBehaviour& b = behaviour_;
        received_.append(bytes, count);
        for (size_t i = 0; i < count; ++i) {
            const char c = bytes[i];
            if (b.echo && !b.silent) {
                out += c;
                echo_ += c;
            }
            if (c != '\r') {
                pending_ += c;
                continue;
            }
            Exchange exchange{pending_, echo_};
            if (!b.silent && !b.silentOn.contains(pending_)) {
                const auto scripted = b.answers.find(pending_);
                const std::string& text = scripted != b.answers.end() ? scripted->second : b.okText;
                const std::string answer = b.lineEnd + text + b.lineEnd;
                out += answer;
                exchange.reply += answer;
            }
            lines_.push_back(pending_);
            exchanges.push_back(std::move(exchange));
            pending_.clear();
            echo_.clear();
        }
    }
    if (!exchanges.empty())
        linesChanged_.notify_all();
    if (!send(out))
        return;
    if (observer_)
        for (const Exchange& e : exchanges)
            observer_(e);
}

bool ModemSimulator::send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        // The user does not read: wait for room, or for the call to stop.
        pollfd fds[2] = {{master_, POLLOUT, 0}, {wake_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return false;
        if (fds[1].revents)
            return false;
    }
    return true;
}

} // namespace modem_sim
