// varnel-cli against the in-process HL driver simulator: commands on stdin run the
// library's functions and print their results and out-texts.
#include "hlsim/simulator.h"

#include "platform/event_loop.h"
#include "test_support/temp_dir.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

// Runs varnel-cli with the given input while the simulator keeps serving (the test's
// event loop runs during the wait).
std::string RunCli(const std::string& input, int* exitCode) {
    QProcess cli;
    cli.start(VARNEL_CLI, {"--library", VARNEL_LIBRARY_PATH});
    cli.write(input.c_str());
    cli.closeWriteChannel();
    platform::WaitUntil([&] { return cli.state() == QProcess::NotRunning; }, 60000);
    *exitCode = cli.exitCode();
    return cli.readAllStandardOutput().toStdString() + cli.readAllStandardError().toStdString();
}

} // namespace

TEST(VarnelCli, ChecksInAndReadsATicket) {
    hlsim::Simulator simulator;
    simulator.listen();
    simulator.setReply(
        "A", "101",
        {hlsim::EventStep("ticket", {{"line", "101"}, {"type", "1"}}), hlsim::AnswerStep('I')});
    test_support::TempDir dir;
    int code = -1;
    const std::string out = RunCli("connect 127.0.0.1 " + simulator.portText() + " " + dir.path() +
                                       "/\n"
                                       "checkin 101 \"John Smith\" 2 1234\n"
                                       "GETOUTTICKET\n"
                                       "bogus 1\n"
                                       "deleteoutticket 0\n",
                                   &code);
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("Connect(127.0.0.1, " + simulator.portText()), std::string::npos) << out;
    EXPECT_NE(out.find("CheckIn(101, John Smith, 2, 1234) = 0\n  Message = \"\""),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("notification: Ticket for outgoing call from HL driver (wParam 1, lParam "
                       "101)"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("  Line = \"101\"\n  CallType = \"1\""), std::string::npos) << out;
    EXPECT_NE(out.find("unknown command \"bogus\""), std::string::npos) << out;
    EXPECT_NE(out.find("DeleteOutTicket(0) = -1"), std::string::npos) << out;
    EXPECT_TRUE(platform::WaitUntil([&] { return !simulator.connected(); }, 20000));

    RunCli("", &code); // the end of input ends the program
    EXPECT_EQ(code, 0);
    QProcess helpRun;
    helpRun.start(VARNEL_CLI, {"--help"});
    ASSERT_TRUE(helpRun.waitForFinished(20000));
    EXPECT_EQ(helpRun.exitCode(), 0);
    EXPECT_NE(helpRun.readAllStandardOutput().indexOf("getoutticket"), -1);
}
