// Duration of one modem conversation ("AT", three set-up strings, a command line
// with one pause, "ATH") against the simulated modem, compared with its floor:
// five answer waits of one port read time-out each plus the 1000 ms pause. The
// read time-out is measured in the same run, on the same line.
#include "modem_driver.h"
#include "rs232_config.h"
#include "rsstream.h"

#include "modem_sim/modem_simulator.h"

#include "rtl/configuration.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("Usage: modem_conversation_bench [ROUNDS=5]\n"
                    "Times modem conversations with three set-up strings and one pause against\n"
                    "the modem simulator and prints them against their floor.\n");
        return 0;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    modem_sim::ModemSimulator sim;
    rtl::Ref<rtl::TConfiguration> root(new rtl::TConfiguration);
    rtl::Ref<rtl::IConfiguration> section = root->sub("mod_tellum");
    section->set("rs.device", sim.slavePath());
    section->set("modem_config_str_1", "ATE1");
    section->set("modem_config_str_2", "ATV1");
    section->set("modem_config_str_3", "ATS0=0");
    section->set("unlock_command_line", "ATX\\n\\p\\pATY\\n");

    // One port read time-out: a one-byte read on the silent line.
    std::vector<double> readWaits;
    {
        auto stream = rtl::MakeRef<tellum::TRS232Stream>(
            sim.slavePath(), rtl::MakeRef<tellum::TDefaultRS232Config>("9600,n,8,1"));
        for (int i = 0; i < 5; ++i) {
            char c = 0;
            const auto start = Clock::now();
            stream->read(&c, 1);
            readWaits.push_back(MsSince(start));
        }
    }
    const double readTimeout = Median(readWaits);
    const double floor = 5 * readTimeout + tellum::TModemDriver::kPauseMs;

    std::vector<double> conversations;
    for (int i = 0; i < rounds; ++i) {
        rtl::Ref<tellum::IResult> result;
        const auto start = Clock::now();
        rtl::MakeRef<tellum::TModemDriver>(section)->unlock("204", result);
        conversations.push_back(MsSince(start));
        if (result->failed()) {
            std::fprintf(stderr, "conversation failed: %s\n", result->message().c_str());
            return 1;
        }
    }
    const double median = Median(conversations);
    std::printf("port read time-out (median of %zu):  %8.1f ms\n", readWaits.size(), readTimeout);
    std::printf("floor (5 x read time-out + 1000 ms): %8.1f ms\n", floor);
    std::printf("conversation (median of %d):          %8.1f ms (min %.1f, max %.1f)\n", rounds,
                median, *std::min_element(conversations.begin(), conversations.end()),
                *std::max_element(conversations.begin(), conversations.end()));
    std::printf("ratio conversation / floor:          %8.3f\n", median / floor);
    return 0;
}
