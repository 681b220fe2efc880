#include "link_context.h"

#include "answer_decoder.h"
#include "date_stamp.h"
#include "frame_format.h"
#include "frame_kinds.h"
#include "record_keys.h"

#include "platform/error.h"
#include "platform/event_loop.h"
#include "platform/messages.h"
#include "platform/tick_count.h"

#include <exception>

namespace varnel {

namespace {
constexpr const char* CannotConnect = "Cannot connect to Orvane hotel link driver!";
} // namespace

LinkContext::LinkContext(LinkTimings timings, RegisteredMessages messages)
    : timings_(timings), notifier_(messages), framePause_(std::make_unique<platform::Timer>()),
      transport_(std::make_unique<platform::TcpClient>()),
      keepAliveTimer_(std::make_unique<platform::Timer>()) {
    // Handlers run inside Qt's event dispatch: no exception may leave them.
    transport_->setEvents({
        [this](int oldState, int newState) { onStateChange(oldState, newState); },
        [this] { onConnected(); },
        [this](const std::string&) { ackState_ = AckStateConnectFailed; },
        [this] { onDataAvailable(); },
    });
    keepAliveTimer_->setInterval(timings_.keepAliveMs);
    keepAliveTimer_->setOnTick([this] { onKeepAliveTick(); });
    framePause_->setOnTick([this] {
        framePause_->stop();
        handlePendingFrames();
    });
}

LinkContext::~LinkContext() {
    keepAliveTimer_->stop();
    framePause_->stop();
    transport_.reset();
    keepAliveTimer_.reset();
    framePause_.reset();
    queues_.reset();
}

LinkContext::Outcome LinkContext::connect(const std::string& host, const std::string& port,
                                          const std::string& queueFolder) {
    // The new queues are opened before the old ones go: a folder that cannot be used
    // leaves the link with the queues it had, so events are still stored.
    try {
        auto opened = std::make_unique<EventQueues>(queueFolder);
        queues_ = std::move(opened);
    } catch (const std::exception& e) {
        return {-3, e.what()};
    }

    Outcome outcome{-8, CannotConnect};
    // An active transport refuses a new address ("Client active"): a Connect to
    // another driver drops the old transport first.
    if (transport_->active() && (transport_->host() != host || transport_->port() != port))
        transport_->deactivate();
    transport_->setHost(host);
    transport_->setPort(port);
    ackState_ = 0;
    try {
        transport_->activate();
    } catch (const std::exception&) {
        // "Host not set" / "Port not set": the wait below runs out.
    }
    platform::WaitUntil([this] { return transport_->connected() || ackState_ != 0; },
                        timings_.connectWaitMs);
    if (ackState_ == AckStateConnectFailed)
        return outcome;
    userDisconnected_ = false;
    if (transport_->connected()) {
        outcome = {0, ""};
        // Also when the connection was already up: a command may have established it
        // after a Disconnect, while the keep-alive was not wanted.
        keepAliveWanted_ = true;
        updateKeepAlive();
    }
    return outcome;
}

int32_t LinkContext::disconnect() {
    userDisconnected_ = true;
    const uint32_t start = platform::TickCount();
    keepAliveWanted_ = false;
    updateKeepAlive();
    if (transport_->connected()) {
        transport_->shutdown();
        const uint32_t elapsed = platform::TicksSince(start);
        if (elapsed < timings_.disconnectWaitMs)
            platform::WaitUntil([this] { return !transport_->connected(); },
                                timings_.disconnectWaitMs - elapsed);
    }
    if (transport_->active())
        transport_->deactivate();
    return transport_->active() ? 0 : 1;
}

bool LinkContext::connected() const {
    return transport_->connected();
}

bool LinkContext::mayWrite() const {
    return !awaitingDriver_ || platform::TicksSince(lastWriteAt_) >= timings_.ackWaitMs;
}

void LinkContext::write(const std::string& bytes) {
    ackState_ = 0;
    lastWriteAt_ = platform::TickCount();
    awaitingDriver_ = true;
    transport_->send(bytes);
}

bool LinkContext::sendFrame(std::string_view body, bool waitForAck) {
    if (!transport_->connected()) {
        try {
            transport_->activate();
        } catch (const std::exception&) {
            // counts as not connected
        }
        platform::WaitUntil([this] { return transport_->connected(); }, timings_.sendConnectWaitMs);
        if (!transport_->connected())
            return false;
    }
    const std::string bytes = FrameBytes(body);
    // Wait for our turn: not right behind our previous write (an acknowledgement,
    // usually). Frames that arrive meanwhile wait, so no new acknowledgement pushes
    // this write further back.
    ++writersWaiting_;
    platform::WaitUntil([this] { return mayWrite(); }, timings_.ackWaitMs);
    --writersWaiting_;
    std::exception_ptr error;
    try {
        write(bytes);
    } catch (...) {
        error = std::current_exception();
    }
    if (!pendingFrames_.empty())
        armFramePause();
    bool result = true;
    if (waitForAck) {
        platform::WaitUntil([this] { return ackState_ != 0; }, timings_.ackWaitMs);
        result = ackState_ == uint8_t(Ack);
    }
    if (error)
        std::rethrow_exception(error);
    return result;
}

void LinkContext::onStateChange(int oldState, int newState) {
    if (oldState == 1 && newState == 0) {
        // Frames not yet acknowledged are the driver's to send again; nothing of the
        // old connection is handled or acknowledged on the next one.
        pendingFrames_.clear();
        reassembler_ = FrameReassembler();
        awaitingDriver_ = false;
        if (framePause_)
            framePause_->stop();
    }
    try {
        if (oldState == 0 && newState == 1)
            notifier_.announce(Notification::Connected, 0, 0);
        else if (oldState == 1 && newState == 0)
            notifier_.announce(Notification::Disconnected, 0, 0);
    } catch (const std::exception&) {
        // No application object any more (process exit): nobody is listening.
    }
}

void LinkContext::onConnected() {
    // "Connected to HL driver" was posted by the state change just before.
    try {
        sendFrame(HandshakeBody, true);
    } catch (const std::exception&) {
        // The connection broke again at once; the state change reports it.
    }
    keepAliveWanted_ = true;
    updateKeepAlive();
}

void LinkContext::onKeepAliveTick() {
    if (userDisconnected_)
        return;
    try {
        sendFrame(KeepAliveBody, false);
    } catch (const std::exception&) {
    }
}

void LinkContext::updateKeepAlive() {
    if (!keepAliveTimer_)
        return;
    if (keepAliveWanted_ && keepAliveSuspensions_ == 0)
        keepAliveTimer_->start(); // a running timer goes on unchanged
    else
        keepAliveTimer_->stop();
}

void LinkContext::onDataAvailable() {
    const std::string chunk = transport_->takeReceived();
    if (chunk.empty())
        return;
    // The driver has answered our last write, or begun its next frame: it took what we
    // sent, so our next write may follow at once.
    awaitingDriver_ = false;
    // A read of exactly one byte outside a frame is the driver's reply to our last
    // send, whatever the byte.
    if (chunk.size() == 1 && !reassembler_.inFrame())
        ackState_ = uint8_t(chunk[0]);
    for (auto& item : reassembler_.feed(chunk)) {
        if (item.kind == FrameReassembler::Item::Kind::Reply)
            ackState_ = uint8_t(item.bytes[0]);
        else
            pendingFrames_.push_back(std::move(item.bytes));
    }
    handlePendingFrames();
}

void LinkContext::armFramePause() {
    const uint32_t elapsed = platform::TicksSince(lastWriteAt_);
    const uint32_t rest = elapsed < timings_.ackWaitMs ? timings_.ackWaitMs - elapsed : 0;
    framePause_->stop();
    framePause_->setInterval(rest + 1);
    framePause_->start();
}

void LinkContext::handlePendingFrames() {
    if (handlingFrames_)
        return;
    handlingFrames_ = true;
    // Each frame ends with our acknowledgement; the next one is handled once the driver
    // has taken it (its next bytes arrived) or the ack wait has passed, and not while a
    // sendFrame waits for its turn to write.
    while (!pendingFrames_.empty() && writersWaiting_ == 0 && mayWrite()) {
        const std::string frame = std::move(pendingFrames_.front());
        pendingFrames_.pop_front();
        handleFrame(frame);
    }
    handlingFrames_ = false;
    if (!pendingFrames_.empty() && writersWaiting_ == 0)
        armFramePause();
}

void LinkContext::handleFrame(const std::string& frame) {
    const auto kind = ClassifyFrame(frame);
    if (!kind) {
        ++droppedFrames_; // unknown length or letter: dropped without acknowledgement
        return;
    }
    try {
        if (*kind == FrameKind::Answer) {
            const AnswerSlots slots = DecodeAnswer(frame);
            // Commands watch answerCodes: the texts must be in place before it changes.
            answerTexts = slots.texts;
            answerCodes = slots.codes;
        } else {
            applyEvent(
                DecodeEvent(*kind, frame, ReduceKey(platform::TickCount()), CurrentDateStamp()));
        }
    } catch (const std::exception&) {
        // Its record is not on disk (nor in memory): without an acknowledgement the
        // driver keeps the frame and sends it again.
        return;
    }
    try {
        write(std::string(1, Ack));
    } catch (const std::exception&) {
        // The connection is gone; its state change reports it.
    }
}

void LinkContext::applyEvent(const EventOutcome& outcome) {
    switch (outcome.slot) {
    case StatusSlot::None:
        break;
    case StatusSlot::Phone:
        phoneSlot = outcome.slotValue;
        break;
    case StatusSlot::FullReinit:
        fullReinitStatus = outcome.slotValue;
        break;
    case StatusSlot::PartialReinit:
        partialReinitStatus = outcome.slotValue;
        break;
    }
    if (outcome.queue) {
        if (!queues_)
            throw platform::Error("The event queues are not open");
        TOxLogFile& queue = (*queues_)[*outcome.queue];
        if (!outcome.onlyIfAbsent || queue.indexOf(outcome.record) < 0)
            queue.add(outcome.record);
    }
    // Posted only after the record is saved, so a receiver finds it.
    if (!outcome.notification)
        return;
    try {
        notifier_.announce(*outcome.notification, outcome.wParam, outcome.lParam);
    } catch (const std::exception&) {
        // No application object any more (process exit): the record is saved all the
        // same, so the frame is acknowledged.
    }
}

KeepAliveSuspension::KeepAliveSuspension(LinkContext& link) : link_(link) {
    ++link_.keepAliveSuspensions_;
    link_.updateKeepAlive();
}

KeepAliveSuspension::~KeepAliveSuspension() {
    --link_.keepAliveSuspensions_;
    link_.updateKeepAlive();
}

} // namespace varnel
