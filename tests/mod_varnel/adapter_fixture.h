// Fixture pieces for the hotel-link adapter's tests: the adapter module on a
// configuration of its own, talking to the in-process HL driver simulator on a
// loopback port, with its queue, cache and spool files in a scratch folder; a
// gate that can hold back the library's notifications so a test runs the
// passes itself; and the scripted stand-in for the link library.
#pragma once

#include "varnel_dm.h"

#include "hlsim/frames.h"
#include "hlsim/simulator.h"
#include "platform/dynamic_library.h"
#include "platform/event_loop.h"
#include "platform/messages.h"
#include "rtl/configuration.h"
#include "rtl/log_sinks.h"
#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace adapter_test {

inline constexpr uint32_t Generous = 20000; // ms: conditions that must come

// Sees every broadcast before the module's hook. While closed it swallows the
// out-call ticket and room status notifications, so the module never runs a
// pass on its own; it counts them either way.
class NotificationGate {
public:
    NotificationGate();
    bool closed = false;
    size_t count(const std::string& name) const;

private:
    std::vector<uint32_t> seen_;
    platform::MessageHook hook_;
};

class AdapterTest : public testing::Test {
protected:
    AdapterTest();
    ~AdapterTest() override;

    // The module, created at first use on the section as it then stands.
    mod_varnel::TvarnelDM& dm();
    void destroyModule();

    // Sends an out-call ticket frame (call type 1) for `line`.
    void sendTicket(const std::string& line, const std::string& time, const std::string& duration,
                    const std::string& field4 = "", const std::string& field20 = "");
    void sendRoomStatus(const std::string& line, const std::string& status,
                        const std::string& text);
    // Waits until the library has queued the n-th notification of that name.
    bool waitForNotification(const std::string& name, size_t n);

    std::string spool() const;
    std::string cache() const;
    std::string logDump() const { return log.dump(); }

    test_support::TempDir dir;
    hlsim::Simulator simulator;
    NotificationGate gate; // before the module, so it sees broadcasts first
    rtl::LogCapture log;
    rtl::Ref<rtl::TConfiguration> config;
    rtl::Ref<rtl::IConfiguration> section;
    std::unique_ptr<mod_varnel::TvarnelDM> module;
};

inline const char* const OutCallTicket = "Ticket for outgoing call from HL driver";
inline const char* const RoomStatus = "Room status event from HL driver";

bool WaitFor(const std::function<bool()>& condition, uint32_t ms = Generous);

// A spool line worked out by hand: eight right-aligned columns of 20 and CR LF.
std::string SpoolLine(const std::string& callTime, const std::string& line,
                      const std::string& field4, const std::string& duration,
                      const std::string& field20);

// The scripted stand-in for libVarnel.so (every export but SetBarring), and
// the functions through which a test sets its answers.
class ScriptedLibrary {
public:
    ScriptedLibrary();
    // The folder to give the binding as its library path.
    static std::string folder();

    void setResult(int32_t result, const std::string& message);
    void setRecord(int32_t key, const std::string& texts); // texts separated by '|'
    void setDeleteResult(int32_t result);
    void setDisconnectResult(int32_t result);
    void setConnectedResult(int32_t result);
    std::string lastCall() const;

private:
    platform::DynamicLibrary library_;
};

} // namespace adapter_test
