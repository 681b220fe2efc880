// A client-side TCP connection with asynchronous connection attempts and events
// delivered on the owning thread only while it dispatches its events. It never
// reconnects by itself: after a failed attempt or a peer close it stays active,
// without a connection, until it is deactivated.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

class TcpClient {
public:
    struct Events {
        // Connection state changed between not connected (0) and connected (1).
        std::function<void(int oldState, int newState)> onStateChange;
        // A connection was established (after the state change to 1).
        std::function<void()> onConnected;
        // An attempt failed (state stays 0; no state change is reported).
        std::function<void(const std::string& reason)> onConnectFailed;
        // Received bytes are waiting to be taken.
        std::function<void()> onDataAvailable;
    };

    TcpClient();
    // Closes an established connection and reports its state change to 0
    // synchronously before the object goes.
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    void setEvents(Events events);

    // Changing host or port while active raises "Client active"; the same value is no change.
    void setHost(const std::string& host);
    void setPort(const std::string& port);
    const std::string& host() const;
    const std::string& port() const;

    // Starts an asynchronous attempt unless already active. An empty host or
    // port raises "Host not set" / "Port not set" and leaves the client active.
    void activate();
    // Aborts any connection and makes the client inactive.
    void deactivate();
    bool active() const;
    bool connected() const;

    // Queues all bytes for sending; nothing is lost or reordered.
    void send(const std::string& bytes);
    // Every byte received and not yet taken, as one chunk.
    std::string takeReceived();
    // Stops sending and closes once the send queue has been written.
    void shutdown();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
