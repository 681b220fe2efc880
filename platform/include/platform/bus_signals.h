// Signals on the system message bus (D-Bus): how a library announces events to every
// program on the machine. A channel is one bus connection under a well-known name. It
// never makes its caller wait: the connection is made, authenticated and written while
// the thread dispatches its events, and a bus that is missing, hung or gone only means
// that the signals do not go out. What a channel learns about the bus is reported to
// the status watches of the process, so that a program can log it. A channel can also
// serve read-only objects that other programs read (see bus_properties.h).
#pragma once

#include "platform/bus_properties.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace platform {

// DBUS_SYSTEM_BUS_ADDRESS when it is set, else the standard system bus socket.
std::string SystemBusAddress();

// The properties an object serves, read afresh for each request.
using BusPropertySource = std::function<std::vector<BusProperty>()>;

using BusArgument = std::variant<std::string, uint32_t, int32_t>; // D-Bus types s, u, i

struct BusSignal {
    std::string path;
    std::string interfaceName;
    std::string member;
    std::vector<BusArgument> arguments;
};

// One change of a channel's standing with the bus.
struct BusStatus {
    enum class State {
        Connected,    // signals go out from the channel's name
        NameNotOwned, // connected, but the bus gave the name to nobody or to another
        Unavailable,  // signals are dropped until a later attempt connects again
    };
    State state = State::Unavailable;
    std::string busName; // the channel's well-known name
    std::string detail;  // the bus address with the unique name, or the reason
};

class BusSignalChannel {
public:
    // How long the bus may take to answer the connection (name request included)
    // before it counts as unavailable, and how long after a failed attempt the next
    // signal tries again (the first signal after a lost connection tries at once). An
    // attempt costs a non-blocking connect on a local socket.
    static constexpr uint32_t AnswerWaitMs = 5000;
    static constexpr uint32_t RetryAfterMs = 5000;
    // Signals written to a bus that reads none are kept up to this count; one more
    // and the connection is given up as hung.
    static constexpr uint64_t MaxWaitingMessages = 1000;

    BusSignalChannel() = default; // no channel: sends nothing
    // Starts connecting to SystemBusAddress() and asks for `busName` (never queued for
    // it). Needs an application object on this thread, which then owns the channel.
    explicit BusSignalChannel(const std::string& busName);
    // What is already written goes out in the background (up to AnswerWaitMs); the
    // name is released with the connection.
    ~BusSignalChannel();
    BusSignalChannel(BusSignalChannel&& other) noexcept;
    BusSignalChannel& operator=(BusSignalChannel&& other) noexcept;
    BusSignalChannel(const BusSignalChannel&) = delete;
    BusSignalChannel& operator=(const BusSignalChannel&) = delete;

    // Queues the signal behind the ones sent before and returns at once; without a bus
    // it is dropped. Never raises.
    void send(const BusSignal& signal) noexcept;

    // Serves a read-only object on the channel's connection, now and after every
    // reconnection: Get, GetAll and introspection of the properties of `interfaceName`
    // at `path`. Their names and types are those `read` answers now; each request
    // reads them again (once for a GetAll), on this thread while it dispatches events,
    // so `read` must be cheap and must not wait. A channel that serves objects tries a
    // lost bus again every RetryAfterMs without waiting for a signal to send.
    void publish(const std::string& path, const std::string& interfaceName, BusPropertySource read);

    class Link; // the connection behind the channel

private:
    std::shared_ptr<Link> link_;
};

using BusStatusHandler = std::function<void(const BusStatus& status)>;

// Receives the status changes of every channel of the process, during a later event
// dispatch of the channel's thread, for its lifetime. A channel reports Unavailable
// once per outage, not at every failed attempt.
class BusStatusWatch {
public:
    BusStatusWatch() = default;
    explicit BusStatusWatch(BusStatusHandler handler);
    ~BusStatusWatch();
    BusStatusWatch(BusStatusWatch&& other) noexcept;
    BusStatusWatch& operator=(BusStatusWatch&& other) noexcept;
    BusStatusWatch(const BusStatusWatch&) = delete;
    BusStatusWatch& operator=(const BusStatusWatch&) = delete;

private:
    uint64_t id_ = 0;
};

} // namespace platform
