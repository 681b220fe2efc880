#include "platform/error.h"
#include "platform/event_loop.h"
#include "platform/tcp_client.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace platform;

namespace {

// A loopback peer on a free port: accepts one connection and records its bytes.
class Peer {
public:
    Peer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            socket_.reset(server_.nextPendingConnection());
            QObject::connect(socket_.get(), &QTcpSocket::readyRead, [this] {
                const QByteArray b = socket_->readAll();
                received.append(b.constData(), size_t(b.size()));
            });
        });
    }
    std::string port() const { return std::to_string(server_.serverPort()); }
    bool accepted() const { return socket_ != nullptr; }
    void send(const std::string& bytes) {
        socket_->write(bytes.data(), qint64(bytes.size()));
        socket_->flush();
    }
    void close() { socket_->close(); }
    std::string received;

private:
    QTcpServer server_;
    std::unique_ptr<QTcpSocket> socket_;
};

// Records the client's events in the order they come.
struct Recorder {
    std::vector<std::string> events;
    std::string data;
    TcpClient::Events hooks(TcpClient& client) {
        return {
            [this](int o, int n) { events.push_back("state " + std::to_string(o) + "->" +
                                                    std::to_string(n)); },
            [this] { events.push_back("connected"); },
            [this](const std::string&) { events.push_back("failed"); },
            [this, &client] { data += client.takeReceived(); },
        };
    }
};

std::string ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return std::to_string(probe.serverPort()); // closed when probe goes
}

} // namespace

TEST(TcpClient, SettingsErrors) {
    TcpClient client;
    client.setHost("127.0.0.1");
    EXPECT_THROW(client.activate(), Error) << "Port not set";
    EXPECT_TRUE(client.active());
    try {
        client.setHost("localhost");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Client active");
    }
    EXPECT_NO_THROW(client.setHost("127.0.0.1")); // same value: no change
    client.deactivate();
    client.setHost("");
    client.setPort("1");
    try {
        client.activate();
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Host not set");
    }
}

TEST(TcpClient, ConnectsInOrderAndExchangesBytes) {
    Peer peer;
    Recorder rec; // outlives the client, which reports to it while destroyed
    TcpClient client;
    client.setEvents(rec.hooks(client));
    client.setHost("127.0.0.1");
    client.setPort(peer.port());
    EXPECT_FALSE(client.connected());
    client.activate();
    EXPECT_TRUE(rec.events.empty()) << "events only during dispatch";
    ASSERT_TRUE(WaitUntil([&] { return client.connected() && peer.accepted(); }, 20000));
    EXPECT_EQ(rec.events, (std::vector<std::string>{"state 0->1", "connected"}));

    client.send("\x02@\xff\xff\xff\xff\x03");
    ASSERT_TRUE(WaitUntil([&] { return peer.received.size() == 7; }, 20000));
    peer.send("\x06");
    ASSERT_TRUE(WaitUntil([&] { return rec.data == "\x06"; }, 20000));
}

TEST(TcpClient, LargeSendArrivesWholeAndInOrder) {
    Peer peer;
    TcpClient client;
    client.setHost("127.0.0.1");
    client.setPort(peer.port());
    client.activate();
    ASSERT_TRUE(WaitUntil([&] { return client.connected() && peer.accepted(); }, 20000));
    std::string big;
    for (int i = 0; i < 4 * 1024 * 1024; ++i)
        big.push_back(char('a' + i % 26));
    client.send(big.substr(0, 1000000));
    client.send(big.substr(1000000));
    ASSERT_TRUE(WaitUntil([&] { return peer.received.size() == big.size(); }, 60000));
    EXPECT_TRUE(peer.received == big);
}

TEST(TcpClient, RefusedAttemptFailsWithoutBlockingAndDoesNotRetry) {
    Recorder rec; // outlives the client, which reports to it while destroyed
    TcpClient client;
    client.setEvents(rec.hooks(client));
    client.setHost("127.0.0.1");
    client.setPort(ClosedPort());
    client.activate();
    ASSERT_TRUE(WaitUntil([&] { return !rec.events.empty(); }, 20000));
    EXPECT_EQ(rec.events, std::vector<std::string>{"failed"});
    EXPECT_TRUE(client.active());
    client.activate(); // active: no new attempt
    Sleep(200);
    EXPECT_EQ(rec.events.size(), 1u);
}

TEST(TcpClient, UnresolvableHostFailsThroughTheEvent) {
    Recorder rec; // outlives the client, which reports to it while destroyed
    TcpClient client;
    client.setEvents(rec.hooks(client));
    client.setHost("no-such-host.invalid");
    client.setPort("2561");
    client.activate();
    ASSERT_TRUE(WaitUntil([&] { return !rec.events.empty(); }, 60000));
    EXPECT_EQ(rec.events, std::vector<std::string>{"failed"});
}

TEST(TcpClient, PeerCloseReportsOnceAndDoesNotReconnect) {
    Peer peer;
    Recorder rec; // outlives the client, which reports to it while destroyed
    TcpClient client;
    client.setEvents(rec.hooks(client));
    client.setHost("127.0.0.1");
    client.setPort(peer.port());
    client.activate();
    ASSERT_TRUE(WaitUntil([&] { return client.connected() && peer.accepted(); }, 20000));
    peer.send("last words");
    peer.close();
    ASSERT_TRUE(WaitUntil([&] { return !client.connected() && rec.events.size() == 3; }, 20000));
    Sleep(200);
    EXPECT_EQ(rec.events, (std::vector<std::string>{"state 0->1", "connected", "state 1->0"}));
    EXPECT_EQ(rec.data, "last words");
    EXPECT_TRUE(client.active());
    EXPECT_FALSE(client.connected());
}

TEST(TcpClient, GracefulShutdownWritesQueuedBytesFirst) {
    Peer peer;
    TcpClient client;
    client.setHost("127.0.0.1");
    client.setPort(peer.port());
    client.activate();
    ASSERT_TRUE(WaitUntil([&] { return client.connected() && peer.accepted(); }, 20000));
    const std::string payload(256 * 1024, 'x');
    client.send(payload);
    client.shutdown();
    ASSERT_TRUE(WaitUntil([&] { return !client.connected(); }, 20000));
    ASSERT_TRUE(WaitUntil([&] { return peer.received.size() == payload.size(); }, 20000));
    client.deactivate();
    EXPECT_FALSE(client.active());
}

TEST(TcpClient, DestructionReportsTheEndOfTheConnection) {
    Peer peer;
    Recorder rec;
    {
        TcpClient client;
        client.setEvents(rec.hooks(client));
        client.setHost("127.0.0.1");
        client.setPort(peer.port());
        client.activate();
        ASSERT_TRUE(WaitUntil([&] { return client.connected(); }, 20000));
    }
    EXPECT_EQ(rec.events, (std::vector<std::string>{"state 0->1", "connected", "state 1->0"}));
}
