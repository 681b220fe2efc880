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
    // the queues (their files already hold them).
    ~LinkContext();
    LinkContext(const LinkContext&) = delete;
    LinkContext& operator=(const LinkContext&) = delete;

    struct Outcome {
        int32_t result;
        std::string message;
    };
    // Opens the queues in `queueFolder`, then connects to host:port and waits for the
    // connection (0), a failed attempt or the connect wait (-8). A queue folder or
    // file that cannot be used gives -3 with the error's text and changes nothing:
    // the queues open before stay open, the connection stays as it was.
    Outcome connect(const std::string& host, const std::string& port,
                    const std::string& queueFolder);
    // 1 when the transport is inactive afterwards, else 0.
    int32_t disconnect();
    bool connected() const;

    // Sends STX + body + ETX (the acknowledgement byte bare). When not connected it
    // makes one connection attempt and waits for it; false when still not connected.
    // The write waits, at most the ack wait, until the driver has sent something since
    // our previous write. With waitForAck: true only when the driver acknowledged
    // within the ack wait. A send error is raised after the acknowledgement wait.
    bool sendFrame(std::string_view body, bool waitForAck);

    uint8_t ackState() const { return ackState_; }
    bool userDisconnected() const { return userDisconnected_; }
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
    friend class KeepAliveSuspension;

    void onStateChange(int oldState, int newState);
    void onConnected();
    void onDataAvailable();
    void onKeepAliveTick();
    void handlePendingFrames();
    void handleFrame(const std::string& frame);
    void applyEvent(const EventOutcome& outcome);
    // Every write to the driver goes through here.
    void write(const std::string& bytes);
    bool mayWrite() const;
    void armFramePause();
    void updateKeepAlive();

    LinkTimings timings_;
    Notifier notifier_;
    uint8_t ackState_ = 0;
    bool userDisconnected_ = false;
    uint64_t droppedFrames_ = 0;

    // Frames are handled one after the other, in arrival order, from the transport's
    // data event and the pause timer; handling never dispatches events, so frames
    // never nest inside each other however many arrive.
    FrameReassembler reassembler_;
    std::deque<std::string> pendingFrames_;
    bool handlingFrames_ = false;
    // Two writes of ours never follow each other closely: a driver that reads chunk
    // by chunk would get both in one read and drop them. After a write the next one
    // waits until the driver has sent something or the ack wait has passed.
    uint32_t lastWriteAt_ = 0;
    bool awaitingDriver_ = false;
    int writersWaiting_ = 0; // sendFrame calls waiting for their turn; frames wait for them
    std::unique_ptr<platform::Timer> framePause_;

    // The keep-alive runs while wanted (from an established connection or a Connect
    // that returned 0, until Disconnect) and no command suspends it.
    bool keepAliveWanted_ = false;
    int keepAliveSuspensions_ = 0;

    std::unique_ptr<EventQueues> queues_;
    std::unique_ptr<platform::TcpClient> transport_;
    std::unique_ptr<platform::Timer> keepAliveTimer_;
};

// Stops the keep-alive timer for the life of a command so no keep-alive frame comes
// between a request and its answer; afterwards the timer runs again if the link
// still wants it (also when the command itself established the connection).
class KeepAliveSuspension {
public:
    explicit KeepAliveSuspension(LinkContext& link);
    ~KeepAliveSuspension();
    KeepAliveSuspension(const KeepAliveSuspension&) = delete;
    KeepAliveSuspension& operator=(const KeepAliveSuspension&) = delete;

private:
    LinkContext& link_;
};

} // namespace varnel
