#include "platform/tcp_client.h"

#include "platform/error.h"

#include <QNetworkProxy>
#include <QTcpSocket>

#include <charconv>

namespace platform {

struct TcpClient::Impl {
    QTcpSocket socket;
    std::string host;
    std::string port;
    bool active = false;
    bool attempting = false; // an attempt runs and has not yet succeeded or failed
    bool reportedConnected = false;
    bool dataPending = false; // a data delivery is queued
    std::string received;
    Events events;
    // Context of queued deliveries; declared last so it goes first and pending
    // deliveries die with the client.
    QObject context;

    void queue(std::function<void()> fn) {
        QMetaObject::invokeMethod(&context, std::move(fn), Qt::QueuedConnection);
    }

    void onConnected() {
        attempting = false;
        reportedConnected = true;
        // Small messages that the caller paces itself: a write must not wait for the
        // peer's delayed TCP acknowledgement of the previous one (Nagle's rule).
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // Connection events run synchronously inside the socket's own signal, which
        // Qt emits only during event dispatch; handlers may wait in nested loops.
        if (events.onStateChange)
            events.onStateChange(0, 1);
        if (events.onConnected)
            events.onConnected();
    }

    void onDisconnected() {
        if (!reportedConnected)
            return;
        reportedConnected = false;
        if (events.onStateChange)
            events.onStateChange(1, 0);
    }

    void onError(QAbstractSocket::SocketError) {
        if (!attempting)
            return; // errors of an established connection end in onDisconnected
        attempting = false;
        const std::string reason = socket.errorString().toStdString();
        if (events.onConnectFailed)
            events.onConnectFailed(reason);
    }

    void onReadyRead() {
        // Take the bytes now and deliver outside the socket's readyRead signal: Qt does
        // not emit readyRead again while its slot runs, and a handler may wait for
        // more data in a nested loop.
        const QByteArray bytes = socket.readAll();
        received.append(bytes.constData(), size_t(bytes.size()));
        if (dataPending)
            return;
        dataPending = true;
        queue([this] {
            dataPending = false;
            if (received.empty())
                return;
            if (events.onDataAvailable)
                events.onDataAvailable();
        });
    }
};

TcpClient::TcpClient() : impl_(std::make_unique<Impl>()) {
    Impl* d = impl_.get();
    d->socket.setProxy(QNetworkProxy::NoProxy);
    QObject::connect(&d->socket, &QTcpSocket::connected, &d->context, [d] { d->onConnected(); });
    QObject::connect(&d->socket, &QTcpSocket::disconnected, &d->context,
                     [d] { d->onDisconnected(); });
    QObject::connect(&d->socket, &QAbstractSocket::errorOccurred, &d->context,
                     [d](QAbstractSocket::SocketError e) { d->onError(e); });
    QObject::connect(&d->socket, &QTcpSocket::readyRead, &d->context, [d] { d->onReadyRead(); });
}

TcpClient::~TcpClient() {
    Impl* d = impl_.get();
    // Report the end of an established connection while the handlers still exist.
    d->active = false;
    d->attempting = false;
    if (d->socket.state() != QAbstractSocket::UnconnectedState)
        d->socket.abort();
    d->onDisconnected();
    d->events = {};
}

void TcpClient::setEvents(Events events) {
    impl_->events = std::move(events);
}

void TcpClient::setHost(const std::string& host) {
    if (host == impl_->host)
        return;
    if (impl_->active)
        throw Error("Client active");
    impl_->host = host;
}

void TcpClient::setPort(const std::string& port) {
    if (port == impl_->port)
        return;
    if (impl_->active)
        throw Error("Client active");
    impl_->port = port;
}

const std::string& TcpClient::host() const {
    return impl_->host;
}
const std::string& TcpClient::port() const {
    return impl_->port;
}

void TcpClient::activate() {
    Impl* d = impl_.get();
    if (d->active)
        return;
    d->active = true;
    if (d->host.empty())
        throw Error("Host not set");
    if (d->port.empty())
        throw Error("Port not set");
    unsigned value = 0;
    const auto* first = d->port.data();
    const auto* last = first + d->port.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    d->attempting = true;
    if (ec != std::errc() || end != last || value == 0 || value > 65535) {
        const std::string reason = "Invalid port \"" + d->port + "\"";
        d->queue([d, reason] {
            if (!d->attempting)
                return;
            d->attempting = false;
            if (d->events.onConnectFailed)
                d->events.onConnectFailed(reason);
        });
        return;
    }
    d->socket.connectToHost(QString::fromStdString(d->host), quint16(value));
}

void TcpClient::deactivate() {
    Impl* d = impl_.get();
    if (!d->active)
        return;
    d->active = false;
    d->attempting = false;
    d->socket.abort();
}

bool TcpClient::active() const {
    return impl_->active;
}

bool TcpClient::connected() const {
    return impl_->socket.state() == QAbstractSocket::ConnectedState;
}

void TcpClient::send(const std::string& bytes) {
    if (!connected())
        throw Error("Socket is not connected");
    // QTcpSocket keeps what the kernel does not take at once in its write buffer.
    const qint64 n = impl_->socket.write(bytes.data(), qint64(bytes.size()));
    if (n != qint64(bytes.size()))
        throw Error("Send failed: " + impl_->socket.errorString().toStdString());
    // Hand the bytes to the kernel now rather than at the next pass of the event loop:
    // the peer answers sooner, and a write never waits behind the caller's next work.
    impl_->socket.flush();
}

std::string TcpClient::takeReceived() {
    // Include whatever the socket buffered since the last readyRead.
    const QByteArray more = impl_->socket.readAll();
    impl_->received.append(more.constData(), size_t(more.size()));
    std::string chunk;
    chunk.swap(impl_->received);
    return chunk;
}

void TcpClient::shutdown() {
    if (impl_->socket.state() != QAbstractSocket::UnconnectedState)
        impl_->socket.disconnectFromHost();
}

} // namespace platform
