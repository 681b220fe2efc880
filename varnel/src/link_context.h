// LinkContext: the link library's one process-wide state. It owns the TCP transport
// to the HL driver, the keep-alive timer, the answer and status slots the commands
// wait on, and the eleven event queues; it sends frames and handles what arrives.
// Everything runs on the one thread that loaded the library, only while it dispatches
// its events (every wait here dispatches them).
#pragma once

#include "event_decoders.h"
#include "event_queues.h"
#include "frame_reassembler.h"
#include "link_timings.h"
#include "notifications.h"

#include "platform/tcp_client.h"
#include "platform/timer.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

namespace varnel {

// AckState after a failed connection attempt (not a byte of the protocol).
inline constexpr uint8_t AckStateConnectFailed = 15;

class LinkContext {
public:
    LinkContext(LinkTimings timings, RegisteredMessages messages);
    // The unload steps: stops the keep-alive timer, closes the transport (an
    // established connection reports "Disconnected from HL driver"), and releases
    // the queues, which save once more.
    ~LinkContext();
    LinkContext(const LinkContext&) = delete;
    LinkContext& operator=(const LinkContext&) = delete;

    struct Outcome {
        int32_t result;
        std::string message;
    };
    // Reopens the queues in `queueFolder`, then connects to host:port and waits for
    // the connection (0), a failed attempt or the connect wait (-8). A queue folder or
    // file that cannot be used gives -3 with the error's text and leaves the
    // connection as it was.
    Outcome connect(const std::string& host, const std::string& port,
                    const std::string& queueFolder);
    // 1 when the transport is inactive afterwards, else 0.
    int32_t disconnect();
    bool connected() const;

    // Sends STX + body + ETX (the acknowledgement byte bare). When not connected it
    // makes one connection attempt and waits for it; false when still not connected.
    // With waitForAck: true only when the driver acknowledged within the ack wait.
    // A send error is raised after the acknowledgement wait.
    bool sendFrame(std::string_view body, bool waitForAck);

    uint8_t ackState() const { return ackState_; }
    bool userDisconnected() const { return userDisconnected_; }
    platform::Timer& keepAliveTimer() { return *keepAliveTimer_; }
    const LinkTimings& timings() const { return timings_; }
    // nullptr until a Connect opened the queues.
    EventQueues* queues() { return queues_.get(); }
    // Complete frames that matched no known kind and were dropped unacknowledged.
    uint64_t droppedFrames() const { return droppedFrames_; }

    // Answer and status slots: written by the frame handlers, read by the commands.
    std::string answerCodes;
    std::string answerTexts;
    std::string phoneSlot;
    std::string fullReinitStatus;
    std::string partialReinitStatus;

private:
    void onStateChange(int oldState, int newState);
    void onConnected();
    void onDataAvailable();
    void dispatchPendingFrames();
    void handleFrame(const std::string& frame);
    void applyEvent(const EventOutcome& outcome);
    void onKeepAliveTick();

    LinkTimings timings_;
    Notifier notifier_;
    uint8_t ackState_ = 0;
    bool userDisconnected_ = false;
    uint64_t droppedFrames_ = 0;
    FrameReassembler reassembler_;
    std::deque<std::string> pendingFrames_;
    std::unique_ptr<EventQueues> queues_;
    std::unique_ptr<platform::TcpClient> transport_;
    std::unique_ptr<platform::Timer> keepAliveTimer_;
};

// Stops the keep-alive timer for the life of a command and puts it back into the
// state it had at the start (running only if it ran), so no keep-alive frame comes
// between a request and its answer.
class KeepAliveSuspension {
public:
    explicit KeepAliveSuspension(platform::Timer& timer);
    ~KeepAliveSuspension();
    KeepAliveSuspension(const KeepAliveSuspension&) = delete;
    KeepAliveSuspension& operator=(const KeepAliveSuspension&) = delete;

private:
    platform::Timer& timer_;
    bool wasRunning_;
};

} // namespace varnel
