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
    : timings_(timings), notifier_(messages), transport_(std::make_unique<platform::TcpClient>()),
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
}

LinkContext::~LinkContext() {
    keepAliveTimer_->stop();
    keepAliveTimer_.reset();
    transport_.reset();
    queues_.reset();
}

LinkContext::Outcome LinkContext::connect(const std::string& host, const std::string& port,
                                          const std::string& queueFolder) {
    // Queues of an earlier Connect are released (and so saved) before the files are
    // read again.
    queues_.reset();
    try {
        queues_ = std::make_unique<EventQueues>(queueFolder);
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
    if (transport_->connected())
        outcome = {0, ""};
    return outcome;
}

int32_t LinkContext::disconnect() {
    userDisconnected_ = true;
    const uint32_t start = platform::TickCount();
    keepAliveTimer_->stop();
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
    ackState_ = 0;
    std::exception_ptr error;
    try {
        transport_->send(bytes);
    } catch (...) {
        error = std::current_exception();
    }
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
    keepAliveTimer_->start();
}

void LinkContext::onKeepAliveTick() {
    if (userDisconnected_)
        return;
    try {
        sendFrame(KeepAliveBody, false);
    } catch (const std::exception&) {
    }
}

void LinkContext::onDataAvailable() {
    const std::string chunk = transport_->takeReceived();
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
    dispatchPendingFrames();
}

void LinkContext::dispatchPendingFrames() {
    // Handling a frame waits for its acknowledgement and so dispatches events: more
    // data may be taken and dispatched in a nested call. Each frame is taken off the
    // queue before it is handled, so every frame is handled once and in stream order.
    while (!pendingFrames_.empty()) {
        const std::string frame = std::move(pendingFrames_.front());
        pendingFrames_.pop_front();
        try {
            handleFrame(frame);
        } catch (const std::exception&) {
            // The frame is not acknowledged (e.g. its queue could not be saved).
        }
    }
}

void LinkContext::handleFrame(const std::string& frame) {
    const auto kind = ClassifyFrame(frame);
    if (!kind) {
        ++droppedFrames_; // unknown length or letter: dropped without acknowledgement
        return;
    }
    if (*kind == FrameKind::Answer) {
        const AnswerSlots slots = DecodeAnswer(frame);
        // Commands watch answerCodes: the texts must be in place before it changes.
        answerTexts = slots.texts;
        answerCodes = slots.codes;
    } else {
        applyEvent(DecodeEvent(*kind, frame, ReduceKey(platform::TickCount()), CurrentDateStamp()));
    }
    sendFrame(AckBody, true);
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
    if (outcome.notification)
        notifier_.announce(*outcome.notification, outcome.wParam, outcome.lParam);
}

KeepAliveSuspension::KeepAliveSuspension(platform::Timer& timer)
    : timer_(timer), wasRunning_(timer.running()) {
    timer_.stop();
}

KeepAliveSuspension::~KeepAliveSuspension() {
    if (wasRunning_)
        timer_.start();
    else
        timer_.stop();
}

} // namespace varnel
