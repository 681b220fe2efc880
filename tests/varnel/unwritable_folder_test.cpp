// A queue folder that exists but cannot be written: the library runs in varnel-cli as a
// user without rights to write there (as root, file modes do not stop writes, so the
// program is started as "nobody"), against the in-process HL driver simulator.
#include "hlsim/frames.h"
#include "hlsim/simulator.h"
#include "platform/event_loop.h"
#include "test_support/temp_dir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t Nobody = 65534;
const char* const OutTicket = "notification: Ticket for outgoing call from HL driver";

// varnel-cli run by a user that owns nothing but what a test gives it.
class UnprivilegedCli {
public:
    UnprivilegedCli() {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&process_, &QProcess::readyRead,
                         [this] { out_ += process_.readAll().toStdString(); });
        const QStringList cli = {VARNEL_CLI, "--library", VARNEL_LIBRARY_PATH};
        if (geteuid() == 0)
            process_.start("setpriv",
                           QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + cli);
        else
            process_.start(cli[0], cli.mid(1));
        process_.waitForStarted(20000);
    }
    ~UnprivilegedCli() { quit(); }

    // Runs one command; returns what it printed (its result and out-texts).
    std::string run(const std::string& command) {
        const size_t from = out_.size();
        // The line after the command's output shows that all of it has been printed.
        process_.write((command + "\nisdrvconnected\n").c_str());
        platform::WaitUntil(
            [&] { return out_.find("IsDrvConnected() = ", from) != std::string::npos; }, 60000);
        const size_t end = out_.find("IsDrvConnected() = ", from);
        return out_.substr(from, end == std::string::npos ? std::string::npos : end - from);
    }

    size_t count(const std::string& text) const {
        size_t n = 0;
        for (size_t at = out_.find(text); at != std::string::npos; at = out_.find(text, at + 1))
            ++n;
        return n;
    }
    bool waitFor(const std::function<bool()>& condition) {
        return platform::WaitUntil(condition, 60000);
    }
    const std::string& output() const { return out_; }

    void quit() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.write("quit\n");
        platform::WaitUntil([&] { return process_.state() == QProcess::NotRunning; }, 60000);
    }

private:
    QProcess process_;
    std::string out_;
};

// The key a Get printed ("GetOutTicket() = 123").
int32_t KeyOf(const std::string& output) {
    const auto at = output.find("() = ");
    return at == std::string::npos ? 0 : std::stoi(output.substr(at + 5));
}

class UnwritableQueueFolder : public ::testing::Test {
protected:
    UnwritableQueueFolder() {
        simulator.listen();
        simulator.setPacing(hlsim::Pacing::AwaitAck, 200, 100000);
        // The unprivileged program must reach its folder and own it.
        ::chmod(dir.path().c_str(), 0755);
        ::mkdir(folder().c_str(), 0755);
        if (geteuid() == 0) {
            EXPECT_EQ(::chown(folder().c_str(), Nobody, Nobody), 0);
        }
    }

    std::string folder() const { return dir.path() + "/queues"; }
    void writable(bool yes) { ASSERT_EQ(::chmod(folder().c_str(), yes ? 0755 : 0555), 0); }
    std::string connectLine() const {
        return "connect 127.0.0.1 " + simulator.portText() + " " + folder() + "/";
    }
    std::string ticketFile() const { return test_support::ReadFile(folder() + "/TicketsOut.txt"); }
    void sendTicket(const std::string& line) {
        simulator.send({hlsim::BuildFrame("ticket", {{"line", line}, {"type", "1"}})});
    }

    test_support::TempDir dir;
    hlsim::Simulator simulator;
};

} // namespace

TEST_F(UnwritableQueueFolder, ConnectRefusesItWithTheFolderAndTheReason) {
    writable(false);
    UnprivilegedCli cli;
    const std::string out = cli.run(connectLine());
    EXPECT_NE(out.find(") = -3"), std::string::npos) << out;
    EXPECT_NE(out.find("Message = \"Cannot create files in the folder \"" + folder() +
                       "\": Permission denied\""),
              std::string::npos)
        << out;
    EXPECT_EQ(simulator.connectionCount(), 0);
}

TEST_F(UnwritableQueueFolder, NothingIsLostOrDoubledWhileItRefusesWrites) {
    UnprivilegedCli cli;
    ASSERT_NE(cli.run(connectLine()).find(") = 0"), std::string::npos) << cli.output();
    sendTicket("101");
    ASSERT_TRUE(cli.waitFor([&] { return cli.count(OutTicket) == 1; })) << cli.output();
    const int32_t first = KeyOf(cli.run("getoutticket"));
    ASSERT_GT(first, 0) << cli.output();

    writable(false);
    // The next ticket cannot be saved: not acknowledged, so the driver sends it again.
    sendTicket("102");
    ASSERT_TRUE(cli.waitFor([&] { return simulator.framesResent() >= 2; }));
    EXPECT_EQ(cli.count(OutTicket), 1u);
    // A Delete that cannot rewrite the file is refused; the ticket stays everywhere.
    EXPECT_NE(cli.run("deleteoutticket " + std::to_string(first)).find(") = -3"), std::string::npos)
        << cli.output();
    const std::string stillThere = cli.run("getoutticket");
    EXPECT_EQ(KeyOf(stillThere), first);
    EXPECT_NE(stillThere.find("Line = \"101\""), std::string::npos) << stillThere;
    EXPECT_EQ(ticketFile().find("|102|"), std::string::npos);
    EXPECT_NE(ticketFile().find(std::to_string(first) + "|101|"), std::string::npos);

    writable(true);
    // The resent frame is stored once; the Delete tried again now succeeds.
    ASSERT_TRUE(cli.waitFor([&] { return cli.count(OutTicket) == 2; })) << cli.output();
    ASSERT_TRUE(cli.waitFor([&] { return !simulator.sending(); }));
    EXPECT_NE(cli.run("deleteoutticket " + std::to_string(first)).find(") = 0"), std::string::npos)
        << cli.output();
    const int32_t second = KeyOf(cli.run("getoutticket"));
    ASSERT_GT(second, 0);
    cli.quit();
    EXPECT_EQ(cli.count(OutTicket), 2u);

    // After a restart the deleted ticket stays gone and the other one is there once.
    UnprivilegedCli again;
    ASSERT_NE(again.run(connectLine()).find(") = 0"), std::string::npos) << again.output();
    const std::string reloaded = again.run("getoutticket");
    EXPECT_EQ(KeyOf(reloaded), second);
    EXPECT_NE(reloaded.find("Line = \"102\""), std::string::npos) << reloaded;
    EXPECT_NE(again.run("deleteoutticket " + std::to_string(second)).find(") = 0"),
              std::string::npos);
    EXPECT_EQ(KeyOf(again.run("getoutticket")), -1);
    EXPECT_EQ(ticketFile(), "");
}
