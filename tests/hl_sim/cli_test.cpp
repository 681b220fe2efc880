// The hl-driver-sim program: help, bad arguments, and a script that drives a real
// link-side connection until SIGTERM ends the program cleanly.
#include "hlsim/frames.h"

#include "platform/event_loop.h"
#include "platform/tcp_client.h"
#include "test_support/temp_dir.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

struct ProgramRun {
    int code;
    std::string out;
    std::string err;
};

ProgramRun RunProgram(const QStringList& args) {
    QProcess p;
    p.start(HL_DRIVER_SIM, args);
    p.closeWriteChannel();
    p.waitForFinished(20000);
    return {p.exitCode(), p.readAllStandardOutput().toStdString(),
            p.readAllStandardError().toStdString()};
}

} // namespace

TEST(HlDriverSimProgram, HelpAndBadArguments) {
    const ProgramRun help = RunProgram({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--script FILE"), std::string::npos);
    EXPECT_NE(help.out.find("wait TYPE"), std::string::npos);

    const ProgramRun bad = RunProgram({"--colour"});
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("\"--colour\""), std::string::npos);
    EXPECT_EQ(RunProgram({"--port", "70000"}).code, 2);

    test_support::TempDir dir;
    test_support::WriteFile(dir.file("bad.txt"), "ack on\n\nsend roomstatus colour=1\n");
    const ProgramRun badScript = RunProgram(
        {"--port", "0", "--no-stdin", "--script", QString::fromStdString(dir.file("bad.txt"))});
    EXPECT_EQ(badScript.code, 2);
    EXPECT_NE(badScript.err.find("line 3"), std::string::npos) << badScript.err;
    EXPECT_NE(badScript.err.find("\"colour\""), std::string::npos) << badScript.err;

    EXPECT_EQ(RunProgram({"--script", "/nonexistent/script.txt"}).code, 2);
}

TEST(HlDriverSimProgram, ScriptWaitsForACheckInThenSendsEventsUntilSigterm) {
    test_support::TempDir dir;
    test_support::WriteFile(dir.file("demo.txt"), "# the demo's driver\n"
                                                  "wait A timeout=20000\n"
                                                  "pause 10\n"
                                                  "send roomstatus room=101 status=1\n"
                                                  "send ticket line=101 type=1 duration=00042\n");
    QProcess sim;
    sim.start(HL_DRIVER_SIM,
              {"--port", "0", "--script", QString::fromStdString(dir.file("demo.txt"))});
    ASSERT_TRUE(sim.waitForReadyRead(20000));
    const std::string first = sim.readLine().toStdString();
    ASSERT_EQ(first.rfind("hl-driver-sim listening on 127.0.0.1:", 0), 0u) << first;
    const std::string port =
        first.substr(first.rfind(':') + 1, first.find('\n') - first.rfind(':') - 1);

    // The link's side acknowledges every frame, as the library does: the simulator sends
    // the next one only then.
    platform::TcpClient link;
    std::string received;
    link.setEvents({{}, {}, {}, [&] {
                        const std::string bytes = link.takeReceived();
                        received += bytes;
                        for (const char c : bytes)
                            if (c == '\x03')
                                link.send("\x06");
                    }});
    link.setHost("127.0.0.1");
    link.setPort(port);
    link.activate();
    ASSERT_TRUE(platform::WaitUntil([&] { return link.connected(); }, 20000));
    const std::string checkIn = "A     101      SMITH          2    123403          000000";
    link.send("\x02" + checkIn + "2F\x03");

    const std::string status = hlsim::BuildFrame("roomstatus", {{"room", "101"}, {"status", "1"}});
    const std::string ticket =
        hlsim::BuildFrame("ticket", {{"line", "101"}, {"type", "1"}, {"duration", "00042"}});
    const std::string expected = "\x06" + hlsim::AnswerFrame("101", 'I') + status + ticket;
    EXPECT_TRUE(platform::WaitUntil([&] { return received.size() >= expected.size(); }, 20000));
    EXPECT_EQ(received, expected);

    sim.terminate(); // SIGTERM
    ASSERT_TRUE(sim.waitForFinished(20000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    const std::string out = sim.readAll().toStdString();
    EXPECT_NE(out.find("got check-in request room=101 name=SMITH language=2 password=1234"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("-> <STX>C     1011"), std::string::npos) << out;
}
