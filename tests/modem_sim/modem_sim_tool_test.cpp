#include "modem_client.h"

#include "test_support/temp_dir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>

using test_support::ReadFile;
using test_support::TempDir;

namespace {

// Waits until the tool's output holds `text`; returns everything read so far.
bool WaitForOutput(QProcess& tool, std::string& output, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (output.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        tool.waitForReadyRead(200);
        output += tool.readAllStandardOutput().toStdString();
    }
    return true;
}

TEST(ModemSimTool, HelpAndBadOptions) {
    QProcess help;
    help.start(MODEM_SIM_PATH, {"--help"});
    ASSERT_TRUE(help.waitForFinished(20000));
    EXPECT_EQ(help.exitCode(), 0);
    const std::string usage = help.readAllStandardOutput().toStdString();
    for (const char* option :
         {"Usage: modem-sim", "--no-echo", "--lower-case", "--numeric", "--error", "--answer",
          "--silent", "--silent-on", "--no-line-feed", "--path-file"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;

    for (const QStringList& args :
         {QStringList{"--loud"}, QStringList{"--answer", "ATZ"}, QStringList{"--error"}}) {
        QProcess bad;
        bad.start(MODEM_SIM_PATH, args);
        ASSERT_TRUE(bad.waitForFinished(20000));
        EXPECT_EQ(bad.exitCode(), 2);
        const std::string err = bad.readAllStandardError().toStdString();
        EXPECT_NE(err.find(args.last().toStdString()), std::string::npos) << err;
    }
}

TEST(ModemSimTool, AnswersPrintsTheConversationAndEndsOnSigterm) {
    TempDir dir;
    const std::string pathFile = dir.file("modem.path");
    QProcess tool;
    tool.start(MODEM_SIM_PATH, {"--numeric", "--error", "ATX", "--silent-on", "ATH", "--path-file",
                                QString::fromStdString(pathFile)});
    ASSERT_TRUE(tool.waitForStarted(20000));
    std::string output;
    ASSERT_TRUE(WaitForOutput(tool, output, "\n"));
    const std::string device = output.substr(0, output.find('\n'));
    EXPECT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
    EXPECT_EQ(ReadFile(pathFile), device + "\n");

    {
        ModemClient client(device);
        EXPECT_EQ(client.command("AT"), "AT\r\r\n0\r\n");
        EXPECT_EQ(client.command("ATX"), "ATX\r\r\n4\r\n");
        EXPECT_EQ(client.command("ATH", std::chrono::milliseconds(3000)), "ATH\r");
    }
    EXPECT_TRUE(WaitForOutput(tool, output, "recv: ATH<0D>\nsend: ATH<0D>\n")) << output;
    EXPECT_EQ(output, device + "\n"
                               "recv: AT<0D>\nsend: AT<0D><0D><0A>0<0D><0A>\n"
                               "recv: ATX<0D>\nsend: ATX<0D><0D><0A>4<0D><0A>\n"
                               "recv: ATH<0D>\nsend: ATH<0D>\n");

    tool.terminate(); // SIGTERM
    ASSERT_TRUE(tool.waitForFinished(20000));
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 0);
    EXPECT_FALSE(std::filesystem::exists(pathFile));
}

} // namespace
