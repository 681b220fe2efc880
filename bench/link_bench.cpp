// Figures for the link library against the hl-driver-sim program, which paces like a
// real driver (each frame sent only after the previous one was acknowledged):
//  1. the floor of one frame: one atomic rewrite (write, fsync, rename, fsync of the
//     folder) of a file of the queue's size, small and near the 1 MiB cap;
//  2. frames per second at the driver's pace into a short queue and into a queue near
//     its cap (goal: at least 80 % of the rewrite rate of that size);
//  3. the Get + Delete drain rate of a full queue;
//  4. the CheckIn round trip, next to a raw loopback request and answer;
//  5. the CPU time of a 2 s wait nested in a wait whose condition already holds.
#include "varnel/varnel.h"

#include "platform/application.h"
#include "platform/dynamic_library.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/messages.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const Usage =
    "Usage: link_bench [FRAMES=300 [ROUNDS=3]] [--folder DIR]\n"
    "\n"
    "Runs the link library (libVarnel.so) against hl-driver-sim on loopback and prints:\n"
    "the time of one atomic rewrite of a queue file (small and 1 MiB), frames per\n"
    "second at the driver's pace into a short queue and into one near its 1 MiB cap\n"
    "(FRAMES frames each, ROUNDS times, each next to the rewrite rate of a file of that\n"
    "size), the Get+Delete drain rate of a full queue, the CheckIn round\n"
    "trip next to a raw loopback request and answer, and the CPU time of a nested 2 s\n"
    "wait. Queue files go to a new folder in DIR (default /var/tmp), removed at the end.\n";

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// A queue record as the decoders write it (an in-call ticket), numbered.
std::string TicketRecord(size_t n) {
    return std::to_string(1000000 + n) + "|102|3|1505241942|00042|0001|" + std::to_string(n) +
           "|2026.12.10 09:05|";
}

// Queue file text of records numbered from `first` until it holds about `bytes`.
std::string QueueText(size_t first, size_t bytes) {
    std::string text;
    for (size_t n = first; text.size() < bytes; ++n)
        text += TicketRecord(n) + "\r\n";
    return text;
}

// Rewrites per second of `content`, one atomic rewrite after the other, as frames
// come (`rounds` rewrites).
double RewriteRate(const std::string& path, const std::string& content, int rounds) {
    const auto t0 = Clock::now();
    for (int i = 0; i < rounds; ++i)
        platform::AtomicReplace(path, content, 0640);
    const double rate = rounds / Seconds(t0);
    std::filesystem::remove(path);
    return rate;
}

// The raw exchange: a check-in request written on a plain socket, read until the
// acknowledgement and the 19-byte answer are in, then acknowledged.
std::vector<double> RawRoundTrips(uint16_t port, int rounds) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    std::vector<double> us;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return us;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const std::string request = "\x02"
                                "A     101      SMITH          2    123403          0000002F\x03";
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        if (write(fd, request.data(), request.size()) != ssize_t(request.size()))
            break;
        size_t got = 0;
        char buffer[256];
        while (got < 20) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got += size_t(n);
        }
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        const char ack = 0x06;
        if (write(fd, &ack, 1) != 1)
            break;
    }
    close(fd);
    return us;
}

struct Api {
    decltype(&::Connect) connect = nullptr;
    decltype(&::Disconnect) disconnect = nullptr;
    decltype(&::CheckIn) checkIn = nullptr;
    decltype(&::GetInTicket) getInTicket = nullptr;
    decltype(&::DeleteInTicket) deleteInTicket = nullptr;
    decltype(&::GetOutTicket) getOutTicket = nullptr;
    decltype(&::DeleteOutTicket) deleteOutTicket = nullptr;
};

} // namespace

int main(int argc, char** argv) {
    size_t frames = 300;
    int rounds = 3;
    int numbers = 0;
    std::string base = "/var/tmp";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--folder" && i + 1 < argc)
            base = argv[++i];
        else if (numbers++ == 0)
            frames = size_t(std::max(1, std::atoi(argv[i])));
        else
            rounds = std::max(1, std::atoi(argv[i]));
    }
    platform::Application app(argc, argv);

    char folderTemplate[4096];
    std::snprintf(folderTemplate, sizeof folderTemplate, "%s/link_bench-XXXXXX", base.c_str());
    if (!mkdtemp(folderTemplate)) {
        std::fprintf(stderr, "link_bench: cannot create a folder in %s: %s\n", base.c_str(),
                     std::strerror(errno));
        return 1;
    }
    const std::string folder = std::string(folderTemplate) + "/";
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("queue folder %s; load average %.2f %.2f %.2f\n", folder.c_str(), load[0], load[1],
                load[2]);

    // 1. The floor of one frame: one rewrite of a file of the queue's size (the short
    //    queue half-way through a stream, and a queue at its cap).
    const std::string small = QueueText(0, frames / 2 * 48);
    const std::string nearCap = QueueText(0, 1040000);

    // The driver: hl-driver-sim, paced (its default), commands on its stdin.
    QProcess driver;
    driver.start(HL_DRIVER_SIM, {"--port", "0", "--quiet"});
    if (!driver.waitForReadyRead(20000)) {
        std::fprintf(stderr, "link_bench: hl-driver-sim did not start\n");
        return 1;
    }
    const std::string first = driver.readLine().toStdString();
    const uint16_t port = uint16_t(std::atoi(first.substr(first.rfind(':') + 1).c_str()));

    // 4a. The raw exchange, before the library takes the simulator's one connection.
    const auto raw = RawRoundTrips(port, 20);

    // A queue near its cap, written before the library opens it.
    platform::AtomicReplace(folder + "TicketsIn.txt", nearCap, 0640);

    platform::DynamicLibrary library(VARNEL_LIBRARY_PATH);
    Api api;
    api.connect = library.function<decltype(api.connect)>("Connect");
    api.disconnect = library.function<decltype(api.disconnect)>("Disconnect");
    api.checkIn = library.function<decltype(api.checkIn)>("CheckIn");
    api.getInTicket = library.function<decltype(api.getInTicket)>("GetInTicket");
    api.deleteInTicket = library.function<decltype(api.deleteInTicket)>("DeleteInTicket");
    api.getOutTicket = library.function<decltype(api.getOutTicket)>("GetOutTicket");
    api.deleteOutTicket = library.function<decltype(api.deleteOutTicket)>("DeleteOutTicket");

    size_t outTickets = 0;
    size_t inTickets = 0;
    const uint32_t outId = platform::RegisterMessage("Ticket for outgoing call from HL driver");
    const uint32_t inId = platform::RegisterMessage("Ticket for incoming call from HL driver");
    platform::MessageHook counter([&](const platform::Message& m, bool&) {
        outTickets += m.id == outId ? 1 : 0;
        inTickets += m.id == inId ? 1 : 0;
    });

    char* message = nullptr;
    if (api.connect("127.0.0.1", std::to_string(port).c_str(), folder.c_str(), &message) != 0) {
        std::fprintf(stderr, "link_bench: Connect failed: %s\n", message ? message : "");
        return 1;
    }

    // 4b. CheckIn round trips through the library.
    std::vector<double> checkIns;
    const double checkInCpu0 = CpuSeconds();
    const auto checkInStart = Clock::now();
    for (int i = 0; i < 20; ++i) {
        const auto t0 = Clock::now();
        api.checkIn("101", "Smith", "2", "1234", &message, 1);
        checkIns.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    const double checkInWall = Seconds(checkInStart);
    const double checkInCpu = CpuSeconds() - checkInCpu0;

    // 2. Frames at the driver's pace: out-call tickets into the empty TicketsOut.txt,
    //    in-call tickets into TicketsIn.txt near its cap; each stream right after the
    //    rewrite rate of a file of its queue's size, so both see the same disk.
    auto stream = [&](const char* type, size_t& counted) {
        const size_t before = counted;
        const std::string command =
            "repeat " + std::to_string(frames) + " send ticket line=101 type=" + type + " f20=$n\n";
        const auto t0 = Clock::now();
        driver.write(command.c_str());
        platform::WaitUntil([&] { return counted >= before + frames; }, 600000);
        return double(counted - before) / Seconds(t0);
    };
    auto emptyOutTickets = [&] {
        for (;;) {
            char* out[7] = {};
            const int32_t key =
                api.getOutTicket(&out[0], &out[1], &out[2], &out[3], &out[4], &out[5], &out[6]);
            for (char* o : out)
                std::free(o);
            if (key < 0 || api.deleteOutTicket(key) != 0)
                return;
        }
    };
    std::vector<double> shortRatios;
    std::vector<double> capRatios;
    for (int round = 1; round <= rounds; ++round) {
        emptyOutTickets();
        const double smallFloor = RewriteRate(folder + "probe.txt", small, int(frames));
        const double shortRate = stream("1", outTickets);
        const double capFloor = RewriteRate(folder + "probe.txt", nearCap, int(frames));
        const double capRate = stream("3", inTickets);
        shortRatios.push_back(shortRate / smallFloor);
        capRatios.push_back(capRate / capFloor);
        std::printf("round %d: short queue %.0f frames/s, rewrite of %zu bytes %.0f/s: %.0f %%; "
                    "near the cap %.0f frames/s, rewrite of %zu bytes %.0f/s: %.0f %%\n",
                    round, shortRate, small.size(), smallFloor, 100 * shortRatios.back(), capRate,
                    nearCap.size(), capFloor, 100 * capRatios.back());
    }

    // 3. Get + Delete of the oldest record of the full queue.
    size_t drained = 0;
    const auto t0 = Clock::now();
    for (size_t i = 0; i < frames; ++i) {
        char* out[7] = {};
        const int32_t key =
            api.getInTicket(&out[0], &out[1], &out[2], &out[3], &out[4], &out[5], &out[6]);
        for (char* o : out)
            std::free(o);
        if (key < 0 || api.deleteInTicket(key) != 0)
            break;
        ++drained;
    }
    const double drainRate = double(drained) / Seconds(t0);

    // 5. A 2 s wait inside a handler that runs in a wait whose condition already holds.
    bool outerCondition = false;
    double nestedCpu = 0;
    QTimer::singleShot(0, [&] {
        outerCondition = true;
        const double c0 = CpuSeconds();
        platform::Sleep(2000);
        nestedCpu = CpuSeconds() - c0;
    });
    platform::WaitUntil([&] { return outerCondition; }, 10000);

    api.disconnect();
    std::free(message);
    driver.terminate();
    driver.waitForFinished(20000);

    std::printf("frames at the driver's pace into a short queue, median of %d rounds: %.0f %% of "
                "the rewrite rate (goal >= 80 %%)\n",
                rounds, 100 * Median(shortRatios));
    std::printf("frames at the driver's pace into a queue near its cap, median of %d rounds: "
                "%.0f %% of the rewrite rate (goal >= 80 %%)\n",
                rounds, 100 * Median(capRatios));
    std::printf("Get+Delete of a full queue: %.0f records/s (%zu records)\n", drainRate, drained);
    std::printf("CheckIn round trip, median of 20: %.1f ms; raw loopback request and answer "
                "%.3f ms\n",
                Median(checkIns) / 1e3, Median(raw) / 1e3);
    std::printf("20 CheckIns one after the other: %.2f s, %.4f s CPU\n", checkInWall, checkInCpu);
    std::printf("CPU of a nested 2 s wait: %.4f s\n", nestedCpu);
    std::filesystem::remove_all(folderTemplate);
    return 0;
}
