// HL driver simulator: a TCP server on the Qt event loop that speaks the driver's side
// of the hotel-link protocol, for tests (in-process, port 0) and for commissioning and
// demos (the hl-driver-sim program). It acknowledges every frame it receives, answers
// each hotel request with a scripted reply (default: accept), sends event frames on
// demand, and records every byte it receives. Like a real driver it sends one frame
// at a time by default: the next only once the link acknowledged the previous one,
// sending a frame again when its acknowledgement does not come.
#pragma once

#include "hlsim/frames.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace hlsim {

// What the simulator answers to each frame it receives.
enum class AckMode {
    Ack,      // 0x06 (the default)
    Withhold, // nothing
    Refuse,   // 0x15
};

// How frames go out.
enum class WriteMode {
    Whole,  // each frame in a write of its own (the default)
    Joined, // the frames of one send or one reply (without pauses between) in one write
    Split,  // each frame in pieces of `pieceSize` bytes, `gapMs` between the pieces
};

// When the next frame goes out.
enum class Pacing {
    AwaitAck,    // after the link acknowledged the previous frame (the default)
    FreeRunning, // at once, whether or not the link acknowledged anything
};

// One step of a reply to a request: an optional pause, then an optional frame built
// from the request (so it can carry the request's room).
struct ReplyStep {
    uint32_t pauseMs = 0;
    std::function<std::string(const Request&)> frame;
};
using Reply = std::vector<ReplyStep>; // an empty reply sends nothing

// The answer frame for the request's room (reason ' ' = blank).
ReplyStep AnswerStep(char answer, char reason = ' ', std::string code = "0000");
// The answer frame for a given room (e.g. another room's, as a late answer looks).
ReplyStep AnswerForRoomStep(std::string room, char answer, char reason = ' ');
// An event frame (see BuildFrame); a value "$room" stands for the request's room.
ReplyStep EventStep(std::string kind, FieldValues values);
ReplyStep PauseStep(uint32_t ms);

// The reply when no rule is set: check-in I, check-out O, modification M,
// interrogation Q; a phone request A followed by a phone-allocation event whose phone
// is the room; a re-initialisation its end status (full "E", partial "O").
Reply DefaultReply(const Request& request);

class Simulator {
public:
    // Needs a Qt application object on this thread.
    Simulator();
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Starts listening; port 0 picks a free one. Raises std::runtime_error.
    void listen(uint16_t port = 0, const std::string& address = "127.0.0.1");
    uint16_t port() const;
    std::string portText() const { return std::to_string(port()); }
    bool connected() const;
    int connectionCount() const; // connections accepted so far
    // One connection at a time: a new connection replaces (closes) the old one.

    // Reply rules. `type` is a request letter (A, D, H, I, M, Z) or a letter with its
    // kind letter (HR, HI, ZF, ZP); `room` is a room or "*" (or empty) for any room.
    // The most specific rule wins: type+room, type+any, letter+room, letter+any.
    void setReply(const std::string& type, const std::string& room, Reply reply);
    void clearReply(const std::string& type, const std::string& room);
    void clearReplies();

    void setAckMode(AckMode mode);
    AckMode ackMode() const;
    void setWriteMode(WriteMode mode, size_t pieceSize = 1, uint32_t gapMs = 20);

    // With AwaitAck, a frame (or the frames of one joined write) not acknowledged
    // within `resendMs` is sent again, up to `resends` times; then the simulator gives
    // up on it and goes on with the next. Raw bytes are never paced.
    static constexpr uint32_t DefaultResendMs = 2000;
    static constexpr uint32_t DefaultResends = 3;
    void setPacing(Pacing pacing, uint32_t resendMs = DefaultResendMs,
                   uint32_t resends = DefaultResends);
    Pacing pacing() const;
    // Frames written since the start (first sends only), sent again, and given up.
    size_t framesSent() const;
    size_t framesResent() const;
    size_t framesGivenUp() const;

    // Sends frames after what is already queued, in the current write mode.
    void send(const std::vector<std::string>& frames);
    // Sends bytes exactly as given, in one write.
    void sendRaw(const std::string& bytes);
    // Closes the connection once the queued output has been written.
    void closeConnection();
    // True while output waits for its turn (pauses, split pieces, an acknowledgement).
    bool sending() const;

    // Every byte received, over all connections.
    const std::string& received() const;
    // The same bytes as they came, one entry per read of the socket.
    const std::vector<std::string>& reads() const;
    // Complete frames received (STX to ETX), in order.
    const std::vector<std::string>& frames() const;
    // The hotel requests among them.
    const std::vector<Request>& requests() const;
    size_t acksReceived() const;
    size_t naksReceived() const;
    size_t countFrames(char letter) const;
    void clearReceived();

    // Readable lines of what happens ("<- " received, "-> " sent, "** " other).
    void setLogger(std::function<void(const std::string& line)> logger);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace hlsim
