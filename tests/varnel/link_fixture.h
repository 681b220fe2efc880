// A test of the link library through its C interface against the in-process HL
// driver simulator on a loopback port, with its own queue folder.
#pragma once

#include "varnel_library.h"

#include "hlsim/simulator.h"
#include "platform/event_loop.h"
#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace varnel_test {

inline constexpr uint32_t Generous = 20000; // ms: conditions that must come

class LinkTest : public ::testing::Test {
protected:
    explicit LinkTest(const VarnelLibrary::Settings& settings = {}) : varnel(settings) {
        simulator.listen();
        if (std::getenv("HLSIM_LOG"))
            simulator.setLogger([](const std::string& l) { std::printf("sim %s\n", l.c_str()); });
    }

    // Notifications the library posts while it unloads must not reach the next test.
    ~LinkTest() override {
        varnel.unload();
        platform::PumpMessages();
    }

    // Connect to the simulator with the test's queue folder; returns the result.
    int32_t connect(std::string* message = nullptr) {
        OutText text;
        const int32_t r = varnel->Connect("127.0.0.1", simulator.portText().c_str(),
                                          folder().c_str(), text.ptr());
        if (message)
            *message = text.str();
        return r;
    }

    // The queue folder with its trailing separator.
    std::string folder() const { return dir.path() + "/queues/"; }
    std::string queueFile(const std::string& name) const { return folder() + name; }

    bool waitFor(const std::function<bool()>& condition, uint32_t ms = Generous) {
        return platform::WaitUntil(condition, ms);
    }
    bool waitForNotification(const std::string& name, size_t count = 1) {
        return waitFor([&] { return notifications.count(name) >= count; });
    }

    test_support::TempDir dir;
    hlsim::Simulator simulator;
    NotificationLog notifications;
    VarnelLibrary varnel;
};

} // namespace varnel_test
