// The modem adapter's test bench: a modem simulator on a pseudo-terminal and an
// adapter configuration (section "mod_tellum") whose serial device is the
// simulator's line. Every command line the simulator receives is kept with the
// time it came.
#pragma once

#include "modem_sim/modem_simulator.h"

#include "rtl/configuration.h"
#include "rtl/context.h"

#include <chrono>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class SimulatedModem {
public:
    using Clock = std::chrono::steady_clock;

    explicit SimulatedModem(modem_sim::ModemBehaviour behaviour = {})
        : sim(std::move(behaviour), [this](const modem_sim::Exchange& e) {
              std::lock_guard lock(mutex_);
              arrivals_.emplace_back(e.line, Clock::now());
          }) {
        section->set("rs.device", sim.slavePath());
        context->registerObject(root.get());
    }

    const std::string& path() const { return sim.slavePath(); }

    // Milliseconds between the arrival of command line `from` and the next line.
    long long gapAfter(const std::string& from) const {
        std::lock_guard lock(mutex_);
        for (size_t i = 0; i + 1 < arrivals_.size(); ++i)
            if (arrivals_[i].first == from)
                return std::chrono::duration_cast<std::chrono::milliseconds>(
                           arrivals_[i + 1].second - arrivals_[i].second)
                    .count();
        return -1;
    }

    rtl::Ref<rtl::TConfiguration> root{new rtl::TConfiguration};
    rtl::Ref<rtl::IConfiguration> section = root->sub("mod_tellum");
    rtl::Ref<rtl::TContext> context{new rtl::TContext};

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, Clock::time_point>> arrivals_;

public:
    // Last: its thread calls back into the members above.
    modem_sim::ModemSimulator sim;
};
