// The link library's process killed with SIGKILL after a frame's record reached its
// queue file and before the frame was acknowledged: the driver sends the frame again
// on the next connection, and the library, started anew, stores it no second time.
// The library runs in varnel-cli, made to die at that change of the file by the fault
// library; the driver is the in-process simulator, which keeps its backlog.
#include "hlsim/frames.h"
#include "hlsim/simulator.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "test_support/temp_dir.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

namespace {

using test_support::ReadFile;

const char* const QueueFiles[] = {
    "TicketsOut.txt",    "TicketsIn.txt",   "Nodes.txt",       "WakeUps.txt",
    "RoomStates.txt",    "CheckIns.txt",    "CheckOuts.txt",   "PhoneAllocs.txt",
    "Modifications.txt", "FullReinits.txt", "PartReinits.txt",
};

class Cli {
public:
    explicit Cli(const std::map<std::string, std::string>& environment = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : environment)
            env.insert(QString::fromStdString(name), QString::fromStdString(value));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&process, &QProcess::readyRead,
                         [this] { output += process.readAll().toStdString(); });
        process.start(VARNEL_CLI, {"--library", VARNEL_LIBRARY_PATH});
        process.waitForStarted(20000);
    }
    ~Cli() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
    void run(const std::string& command) { process.write((command + "\n").c_str()); }
    bool running() const { return process.state() != QProcess::NotRunning; }

    QProcess process;
    std::string output;
};

std::string Records(const std::string& path) {
    return platform::FileExists(path) ? ReadFile(path) : std::string();
}

size_t LineCount(const std::string& text) {
    size_t n = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++n;
    return n;
}

TEST(KilledLink, AFrameStoredButNotAcknowledgedIsStoredOnceWhenTheDriverSendsItAgain) {
    test_support::TempDir dir;
    const std::string folder = dir.file("queues");
    std::filesystem::create_directory(folder);
    // Queue files of a library that ran before: Connect then changes no file.
    for (const char* name : QueueFiles)
        test_support::WriteFile(folder + "/" + name, "");
    hlsim::Simulator driver;
    driver.setKeepBacklog(true);
    driver.setPacing(hlsim::Pacing::AwaitAck, 500, 1000);
    driver.listen();
    const std::string connect = "connect 127.0.0.1 " + driver.portText() + " " + folder + "/";
    const std::string ticket = hlsim::BuildFrame(
        "ticket", {{"line", "101"}, {"type", "1"}, {"time", "0102241530"}, {"duration", "00042"}});

    {
        // Storing the record writes a temporary file, syncs it, renames it over the
        // queue file and syncs the folder: the kill comes at that last sync, with the
        // record in place and the acknowledgement not yet sent.
        const char* asan = std::getenv("ASAN_OPTIONS");
        Cli cli({{"LD_PRELOAD", FAULT_CALLS_LIBRARY},
                 {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"},
                 {"FAULT_FOLDER", folder},
                 {"FAULT_AT", "5"},
                 {"FAULT_TRACE", dir.file("trace.txt")}});
        cli.run(connect);
        ASSERT_TRUE(platform::WaitUntil([&] { return driver.connected(); }, 20000)) << cli.output;
        driver.send({ticket});
        ASSERT_TRUE(platform::WaitUntil([&] { return !cli.running(); }, 20000)) << cli.output;
        EXPECT_EQ(cli.process.exitStatus(), QProcess::CrashExit);
        EXPECT_NE(ReadFile(dir.file("trace.txt")).find("4 rename TicketsOut.txt\n5 fsync .\n"),
                  std::string::npos)
            << ReadFile(dir.file("trace.txt"));
    }
    ASSERT_EQ(LineCount(Records(folder + "/TicketsOut.txt")), 1u);
    EXPECT_EQ(driver.framesAcknowledged(), 0u);

    Cli cli;
    cli.run(connect);
    ASSERT_TRUE(platform::WaitUntil([&] { return driver.framesAcknowledged() == 1; }, 20000))
        << cli.output;
    // A new ticket after it is stored as usual.
    driver.send({hlsim::BuildFrame("ticket", {{"line", "102"}, {"type", "1"}})});
    ASSERT_TRUE(platform::WaitUntil([&] { return driver.framesAcknowledged() == 2; }, 20000))
        << cli.output;
    const std::string records = Records(folder + "/TicketsOut.txt");
    EXPECT_EQ(LineCount(records), 2u) << records;
    EXPECT_EQ(records.find("|101|"), records.rfind("|101|")) << records;
    EXPECT_NE(records.find("|102|"), std::string::npos) << records;
}

} // namespace
