// Figures for the event-loop waits:
//  1. CPU time used by a 5 s wait for a condition that never comes (goal: under 1 % of the wait);
//  2. round-trip latency of a loopback TCP answer seen through TcpClient + WaitUntil,
//     against a plain blocking socket read of the same answer in the same run (goal: under 2x).
#include "platform/application.h"
#include "platform/event_loop.h"
#include "platform/tcp_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Answers every byte it receives with one byte, on each of `connections` clients in turn.
class EchoServer {
public:
    explicit EchoServer(int connections) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(listener_, 4);
        socklen_t len = sizeof addr;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, connections] {
            for (int i = 0; i < connections; ++i) {
                const int fd = accept(listener_, nullptr, nullptr);
                int one = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                char c;
                while (read(fd, &c, 1) == 1) {
                    const char ack = 0x06;
                    if (write(fd, &ack, 1) != 1)
                        break;
                }
                close(fd);
            }
        });
    }
    ~EchoServer() {
        thread_.join();
        close(listener_);
    }
    int port() const { return port_; }

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::vector<double> BlockingRoundTrips(int port, int rounds) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(port));
    connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::vector<double> us;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        const char q = 'q';
        char a = 0;
        if (write(fd, &q, 1) != 1 || read(fd, &a, 1) != 1)
            break;
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    close(fd);
    return us;
}

std::vector<double> EventLoopRoundTrips(int port, int rounds) {
    platform::TcpClient client;
    std::string received;
    client.setEvents({{}, {}, {}, [&] { received += client.takeReceived(); }});
    client.setHost("127.0.0.1");
    client.setPort(std::to_string(port));
    client.activate();
    platform::WaitUntil([&] { return client.connected(); }, 10000);
    std::vector<double> us;
    for (int i = 0; i < rounds; ++i) {
        received.clear();
        const auto t0 = Clock::now();
        client.send("q");
        if (!platform::WaitUntil([&] { return !received.empty(); }, 10000))
            break;
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    client.deactivate();
    return us;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("usage: wait_bench [WAIT_SECONDS [ROUNDS]]\n"
                    "Prints the CPU cost of an idle wait and the wake-up latency of WaitUntil\n"
                    "after a loopback TCP answer, next to a blocking socket read.\n");
        return 0;
    }
    const int waitSeconds = argc > 1 ? std::atoi(argv[1]) : 5;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 2000;
    platform::Application app(argc, argv);

    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    platform::Sleep(uint32_t(waitSeconds) * 1000u);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    std::printf("idle wait: %.2f s wall, %.4f s CPU = %.3f %% of the wait (goal < 1 %%)\n", wall,
                cpu, 100.0 * cpu / wall);

    EchoServer server(2);
    const auto blocking = BlockingRoundTrips(server.port(), rounds);
    const auto looped = EventLoopRoundTrips(server.port(), rounds);
    const double b = Median(blocking);
    const double l = Median(looped);
    std::printf("loopback round trip, median of %d: blocking read %.1f us, "
                "TcpClient + WaitUntil %.1f us, ratio %.2fx (goal < 2x)\n",
                rounds, b, l, l / b);
    return 0;
}
