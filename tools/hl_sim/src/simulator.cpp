#include "hlsim/simulator.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>
#include <map>
#include <stdexcept>

namespace hlsim {

namespace {

constexpr char Stx = '\x02';
constexpr char Etx = '\x03';
constexpr char AckByte = '\x06';
constexpr char NakByte = '\x15';

std::string ReplaceRoom(const std::string& value, const std::string& room) {
    return value == "$room" ? room : value;
}

} // namespace

ReplyStep AnswerStep(char answer, char reason, std::string code) {
    return {0, [=](const Request& r) { return AnswerFrame(r.room, answer, reason, code); }};
}

ReplyStep AnswerForRoomStep(std::string room, char answer, char reason) {
    return {0, [=](const Request&) { return AnswerFrame(room, answer, reason); }};
}

ReplyStep EventStep(std::string kind, FieldValues values) {
    return {0, [kind = std::move(kind), values = std::move(values)](const Request& r) {
                FieldValues filled;
                for (const auto& [name, value] : values)
                    filled[name] = ReplaceRoom(value, r.room);
                return BuildFrame(kind, filled);
            }};
}

ReplyStep PauseStep(uint32_t ms) {
    return {ms, {}};
}

Reply DefaultReply(const Request& request) {
    switch (request.letter) {
    case 'A':
        return {AnswerStep('I')};
    case 'D':
        return {AnswerStep('O')};
    case 'M':
        return {AnswerStep('M')};
    case 'I':
        return {AnswerStep('Q')};
    case 'H':
        return {AnswerStep('A'), EventStep("phone", {{"room", "$room"}, {"phone", "$room"}})};
    case 'Z':
        if (request.type == "ZP")
            return {EventStep("partialreinit", {{"room", "$room"}, {"letter", "O"}})};
        return {EventStep("fullreinit", {{"room", "$room"}, {"letter", "E"}})};
    default:
        return {};
    }
}

struct Simulator::Impl {
    // Output waiting for its turn: a pause, then bytes (a whole frame, a piece of one,
    // or several joined), or the close of the connection.
    struct Chunk {
        uint32_t gapMs = 0;
        std::string bytes;
        bool endsFrame = true;           // false for all but the last piece of a frame
        std::vector<std::string> frames; // frames that start in this chunk (for the log)
        bool close = false;
        const char* note = "piece"; // logged for a chunk that starts no frame
        // Paced output: the frames that end in this chunk (each wants an
        // acknowledgement) and the bytes to send again when they do not get it.
        size_t framesEnding = 0;
        std::string resend = {};
    };

    QTcpServer server;
    QPointer<QTcpSocket> socket;
    int connections = 0;
    std::map<std::pair<std::string, std::string>, Reply> replies;
    AckMode ackMode = AckMode::Ack;
    WriteMode writeMode = WriteMode::Whole;
    size_t pieceSize = 1;
    uint32_t gapMs = 20;

    std::deque<Chunk> out;
    bool waiting = false; // a pause of the head chunk runs
    Pacing pacing = Pacing::AwaitAck;
    uint32_t resendMs = Simulator::DefaultResendMs;
    uint32_t resends = Simulator::DefaultResends;
    size_t awaitedAcks = 0;   // acknowledgements the last paced write still waits for
    size_t pacedFrames = 0;   // frames of that write
    std::string resendBytes;  // that write's frames, whole
    uint32_t resendsDone = 0; // of that write
    QTimer resendTimer;
    size_t sent = 0;
    size_t resent = 0;
    size_t givenUp = 0;
    bool midFrame = false; // pieces of a frame were written, its end not yet
    std::string heldAcks;  // acknowledgements held back until the frame is complete

    std::string received;
    std::vector<std::string> reads; // every read as it came
    std::string partial;            // a frame being received
    bool inFrame = false;
    std::vector<std::string> frames;
    std::vector<Request> requests;
    size_t acks = 0;
    size_t naks = 0;
    std::function<void(const std::string&)> logger;
    // Context of timers and connections; declared last so it goes first.
    QObject context;

    void log(const std::string& line) {
        if (logger)
            logger(line);
    }

    void write(const std::string& bytes) {
        if (!socket || socket->state() != QAbstractSocket::ConnectedState)
            return;
        socket->write(bytes.data(), qint64(bytes.size()));
        socket->flush();
    }

    void onConnection() {
        while (QTcpSocket* next = server.nextPendingConnection()) {
            if (QTcpSocket* old = socket) {
                log("** a new connection replaces the old one");
                socket = nullptr; // its disconnected signal is no longer ours to handle
                old->abort();
                old->deleteLater();
            }
            socket = next;
            // An acknowledgement and the answer right behind it are two small writes:
            // without this the second waits for the peer's delayed TCP acknowledgement.
            next->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            ++connections;
            out.clear();
            waiting = false;
            stopAwaiting();
            midFrame = false;
            heldAcks.clear();
            partial.clear();
            inFrame = false;
            log("** connected from " + next->peerAddress().toString().toStdString() + ":" +
                std::to_string(next->peerPort()));
            QObject::connect(next, &QTcpSocket::readyRead, &context, [this, next] {
                if (next == socket)
                    onData(next->readAll());
            });
            QObject::connect(next, &QTcpSocket::disconnected, &context, [this, next] {
                if (next != socket)
                    return;
                log("** connection closed");
                out.clear();
                waiting = false;
                stopAwaiting();
                socket = nullptr;
                next->deleteLater();
            });
        }
    }

    void onData(const QByteArray& data) {
        received.append(data.constData(), size_t(data.size()));
        reads.emplace_back(data.constData(), size_t(data.size()));
        for (const char c : data) {
            if (c == Stx) {
                if (inFrame)
                    log("<- " + Readable(partial) + "   (incomplete frame dropped)");
                partial.assign(1, c);
                inFrame = true;
            } else if (inFrame) {
                partial += c;
                if (c == Etx) {
                    inFrame = false;
                    onFrame(std::move(partial));
                    partial.clear();
                }
            } else if (c == AckByte) {
                ++acks;
                log("<- <ACK>");
                onAcknowledgement();
            } else if (c == NakByte) {
                ++naks;
                log("<- <NAK>");
            } else {
                log("<- " + Readable(std::string(1, c)) + "   (byte outside a frame)");
            }
        }
    }

    void sendAck(char byte) {
        if (midFrame) {
            heldAcks += byte; // never inside a frame that goes out in pieces
            return;
        }
        log(std::string("-> ") + Readable(std::string(1, byte)));
        write(std::string(1, byte));
    }

    void onFrame(std::string frame) {
        if (logger) // decoding for the log costs time on the way to the next frame
            log("<- " + Readable(frame) + "   " + Describe(frame, false));
        frames.push_back(frame);
        if (ackMode == AckMode::Ack)
            sendAck(AckByte);
        else if (ackMode == AckMode::Refuse)
            sendAck(NakByte);
        const auto request = ParseRequest(frame);
        if (!request)
            return;
        requests.push_back(*request);
        reply(*request);
    }

    const Reply* findRule(const Request& r) const {
        const std::string letter(1, r.letter);
        for (const auto& key : {std::pair{r.type, r.room}, std::pair{r.type, std::string("*")},
                                std::pair{letter, r.room}, std::pair{letter, std::string("*")}}) {
            const auto it = replies.find(key);
            if (it != replies.end())
                return &it->second;
        }
        return nullptr;
    }

    void reply(const Request& request) {
        const Reply* rule = findRule(request);
        const Reply steps = rule ? *rule : DefaultReply(request);
        std::vector<std::string> batch;
        uint32_t pause = 0;
        auto flush = [&] {
            if (!batch.empty())
                enqueue(batch, pause);
            batch.clear();
            pause = 0;
        };
        for (const ReplyStep& step : steps) {
            if (step.pauseMs > 0) {
                flush();
                pause += step.pauseMs;
            }
            if (!step.frame)
                continue;
            try {
                batch.push_back(step.frame(request));
            } catch (const std::exception& e) {
                log(std::string("** reply not sent: ") + e.what());
            }
        }
        flush();
    }

    // Queues frames with a pause before the first, cut as the write mode says.
    void enqueue(const std::vector<std::string>& frameList, uint32_t pause) {
        if (frameList.empty())
            return;
        switch (writeMode) {
        case WriteMode::Whole:
            for (const auto& f : frameList) {
                out.push_back({pause, f, true, {f}, false, "piece", 1, f});
                pause = 0;
            }
            break;
        case WriteMode::Joined: {
            Chunk chunk{pause, {}, true, frameList, false};
            for (const auto& f : frameList)
                chunk.bytes += f;
            chunk.framesEnding = frameList.size();
            chunk.resend = chunk.bytes;
            out.push_back(std::move(chunk));
            break;
        }
        case WriteMode::Split:
            for (const auto& f : frameList) {
                for (size_t at = 0; at < f.size(); at += pieceSize) {
                    Chunk chunk{at == 0 ? pause : gapMs,
                                f.substr(at, pieceSize),
                                at + pieceSize >= f.size(),
                                {},
                                false};
                    if (at == 0)
                        chunk.frames = {f};
                    if (chunk.endsFrame) {
                        chunk.framesEnding = 1;
                        chunk.resend = f;
                    }
                    out.push_back(std::move(chunk));
                }
                pause = gapMs;
            }
            break;
        }
        pump();
    }

    // Paced output: the next chunk waits until every frame of this one is acknowledged.
    void awaitAcks(const Chunk& chunk) {
        awaitedAcks = chunk.framesEnding;
        pacedFrames = chunk.framesEnding;
        resendBytes = chunk.resend;
        resendsDone = 0;
        resendTimer.start(int(resendMs));
    }

    void stopAwaiting() {
        awaitedAcks = 0;
        resendTimer.stop();
    }

    void onAcknowledgement() {
        if (awaitedAcks == 0)
            return;
        if (--awaitedAcks > 0)
            return;
        resendTimer.stop();
        pump();
    }

    void onResendTime() {
        if (awaitedAcks == 0)
            return;
        if (resendsDone >= resends) {
            log("** no acknowledgement after " + std::to_string(resends) +
                " re-sends: going on with the next frame");
            ++givenUp;
            stopAwaiting();
            pump();
            return;
        }
        ++resendsDone;
        ++resent;
        log("-> " + Readable(resendBytes) + "   (sent again: no acknowledgement within " +
            std::to_string(resendMs) + " ms)");
        write(resendBytes);
        awaitedAcks = pacedFrames;
        resendTimer.start(int(resendMs));
    }

    void pump() {
        while (!waiting && awaitedAcks == 0 && !out.empty()) {
            Chunk& head = out.front();
            if (head.gapMs > 0) {
                waiting = true;
                QTimer::singleShot(int(head.gapMs), &context, [this] {
                    waiting = false;
                    if (!out.empty())
                        out.front().gapMs = 0;
                    pump();
                });
                return;
            }
            Chunk chunk = std::move(head);
            out.pop_front();
            if (chunk.close) {
                if (socket) {
                    log("** closing the connection");
                    socket->disconnectFromHost();
                }
                continue;
            }
            if (logger) {
                for (const auto& f : chunk.frames)
                    log("-> " + Readable(f) + "   " + Describe(f, true));
                if (chunk.frames.empty())
                    log("-> " + Readable(chunk.bytes) + "   (" + chunk.note + ")");
            }
            write(chunk.bytes);
            sent += chunk.frames.size();
            if (pacing == Pacing::AwaitAck && chunk.framesEnding > 0)
                awaitAcks(chunk);
            midFrame = !chunk.endsFrame;
            if (!midFrame && !heldAcks.empty()) {
                const std::string acksNow = std::move(heldAcks);
                heldAcks.clear();
                for (const char c : acksNow)
                    sendAck(c);
            }
        }
    }
};

Simulator::Simulator() : impl_(std::make_unique<Impl>()) {
    impl_->server.setProxy(QNetworkProxy::NoProxy);
    QObject::connect(&impl_->server, &QTcpServer::newConnection, &impl_->context,
                     [d = impl_.get()] { d->onConnection(); });
    impl_->resendTimer.setSingleShot(true);
    QObject::connect(&impl_->resendTimer, &QTimer::timeout, &impl_->context,
                     [d = impl_.get()] { d->onResendTime(); });
}

Simulator::~Simulator() {
    impl_->logger = nullptr;
    if (impl_->socket)
        impl_->socket->abort();
}

void Simulator::listen(uint16_t port, const std::string& address) {
    QHostAddress host;
    if (!host.setAddress(QString::fromStdString(address)))
        throw std::runtime_error("invalid listen address \"" + address + "\"");
    if (!impl_->server.listen(host, port))
        throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port) + ": " +
                                 impl_->server.errorString().toStdString());
}

uint16_t Simulator::port() const {
    return impl_->server.serverPort();
}

bool Simulator::connected() const {
    return impl_->socket && impl_->socket->state() == QAbstractSocket::ConnectedState;
}

int Simulator::connectionCount() const {
    return impl_->connections;
}

void Simulator::setReply(const std::string& type, const std::string& room, Reply reply) {
    impl_->replies[{type, room.empty() ? "*" : room}] = std::move(reply);
}

void Simulator::clearReply(const std::string& type, const std::string& room) {
    impl_->replies.erase({type, room.empty() ? "*" : room});
}

void Simulator::clearReplies() {
    impl_->replies.clear();
}

void Simulator::setAckMode(AckMode mode) {
    impl_->ackMode = mode;
}
AckMode Simulator::ackMode() const {
    return impl_->ackMode;
}

void Simulator::setWriteMode(WriteMode mode, size_t pieceSize, uint32_t gapMs) {
    impl_->writeMode = mode;
    impl_->pieceSize = pieceSize == 0 ? 1 : pieceSize;
    impl_->gapMs = gapMs;
}

void Simulator::setPacing(Pacing pacing, uint32_t resendMs, uint32_t resends) {
    impl_->pacing = pacing;
    impl_->resendMs = resendMs;
    impl_->resends = resends;
    if (pacing == Pacing::FreeRunning) {
        impl_->stopAwaiting();
        impl_->pump();
    }
}

Pacing Simulator::pacing() const {
    return impl_->pacing;
}

size_t Simulator::framesSent() const {
    return impl_->sent;
}

size_t Simulator::framesResent() const {
    return impl_->resent;
}

size_t Simulator::framesGivenUp() const {
    return impl_->givenUp;
}

void Simulator::send(const std::vector<std::string>& frames) {
    impl_->enqueue(frames, 0);
}

void Simulator::sendRaw(const std::string& bytes) {
    impl_->out.push_back({0, bytes, true, {}, false, "raw bytes"});
    impl_->pump();
}

void Simulator::closeConnection() {
    impl_->out.push_back({0, {}, true, {}, true});
    impl_->pump();
}

bool Simulator::sending() const {
    return !impl_->out.empty() || impl_->awaitedAcks > 0;
}

const std::string& Simulator::received() const {
    return impl_->received;
}
const std::vector<std::string>& Simulator::frames() const {
    return impl_->frames;
}
const std::vector<Request>& Simulator::requests() const {
    return impl_->requests;
}
size_t Simulator::acksReceived() const {
    return impl_->acks;
}
size_t Simulator::naksReceived() const {
    return impl_->naks;
}

size_t Simulator::countFrames(char letter) const {
    size_t n = 0;
    for (const auto& f : impl_->frames)
        n += (f.size() > 1 && f[1] == letter) ? 1 : 0;
    return n;
}

const std::vector<std::string>& Simulator::reads() const {
    return impl_->reads;
}

void Simulator::clearReceived() {
    impl_->received.clear();
    impl_->reads.clear();
    impl_->frames.clear();
    impl_->requests.clear();
    impl_->acks = 0;
    impl_->naks = 0;
}

void Simulator::setLogger(std::function<void(const std::string&)> logger) {
    impl_->logger = std::move(logger);
}

} // namespace hlsim
