// A private D-Bus system bus for one test: a dbus-daemon of its own on a socket in a
// scratch folder, with the default rules of a Debian system bus and the policy files
// under test; and dbus-monitor as an outside receiver of what goes over it.
#pragma once

#include "test_support/temp_dir.h"

#include <QProcess>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace test_support {

class PrivateBus {
public:
    // Starts the daemon and waits until it listens; raises std::runtime_error with the
    // daemon's errors when it does not start (e.g. a policy file it cannot read).
    explicit PrivateBus(const std::vector<std::string>& policyFiles = {});
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& address() const { return address_; }
    int64_t pid() const;
    // What the daemon wrote to stderr so far.
    std::string errors();

    void kill();    // SIGKILL, then waits for its end
    void restart(); // killed and started again on the same address
    void pause();   // SIGSTOP: the socket stays, nobody answers
    void resume();  // SIGCONT

private:
    void start();

    TempDir dir_;
    std::unique_ptr<QProcess> daemon_;
    std::string address_;
    std::string errors_;
};

// Sets DBUS_SYSTEM_BUS_ADDRESS for this process while it exists (the previous value,
// or its absence, comes back afterwards).
class SystemBusAddressOverride {
public:
    explicit SystemBusAddressOverride(const std::string& address);
    ~SystemBusAddressOverride();
    SystemBusAddressOverride(const SystemBusAddressOverride&) = delete;
    SystemBusAddressOverride& operator=(const SystemBusAddressOverride&) = delete;

private:
    bool had_ = false;
    std::string previous_;
};

// A signal as dbus-monitor printed it; arguments as printed, e.g. `string "x"`, `uint32 1`.
struct MonitoredSignal {
    std::string sender;
    std::string path;
    std::string interfaceName;
    std::string member;
    std::vector<std::string> arguments;
};

// dbus-monitor on a bus with the given match rules, started through `launcher` (e.g.
// setpriv with another user) when given. The constructor returns once the monitor is
// seen to receive: it sends probe signals until one comes through.
class BusMonitor {
public:
    BusMonitor(const std::string& address, const std::vector<std::string>& rules,
               const std::vector<std::string>& launcher = {});
    ~BusMonitor();
    BusMonitor(const BusMonitor&) = delete;
    BusMonitor& operator=(const BusMonitor&) = delete;

    // The signals of the interface received whole so far, in order.
    std::vector<MonitoredSignal> signalsOf(const std::string& interfaceName);
    // Waits (dispatching events) until `count` signals of the interface came.
    bool waitFor(const std::string& interfaceName, size_t count, uint32_t ms = 20000);
    std::string output(); // everything printed so far, stderr included

private:
    void read();
    std::string address_;
    std::vector<MonitoredSignal> parsed_;
    std::string pending_;
    std::string text_;
    QProcess process_;
};

// Sends one signal with dbus-send (through `launcher` when given); true when
// dbus-send accepted it.
bool SendSignalWithDbusSend(const std::string& address, const std::string& path,
                            const std::string& interfaceAndMember,
                            const std::vector<std::string>& arguments,
                            const std::vector<std::string>& launcher = {});

} // namespace test_support
