// varnel-cli watch on a private system bus against the link library of this process:
// each notification with the record it announces; the messages when there is no bus
// or it goes away. And varnel-cli's own session, which must end while the bus hangs.
#include "bus_fixture.h"
#include "varnel_library.h"

#include "hlsim/frames.h"
#include "hlsim/simulator.h"
#include "platform/event_loop.h"
#include "test_support/private_bus.h"
#include "test_support/temp_dir.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <optional>
#include <regex>

using namespace varnel_test;

namespace {

constexpr uint32_t Generous = 20000;

QProcessEnvironment WithBus(const std::string& address) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", QString::fromStdString(address));
    return env;
}

class Watch {
public:
    Watch(const std::string& address, const QStringList& arguments) {
        process.setProcessEnvironment(WithBus(address));
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(VARNEL_CLI, QStringList{"watch"} + arguments);
    }
    ~Watch() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
    std::string output() {
        text += process.readAll().toStdString();
        return text;
    }
    bool waitForOutput(const std::string& part) {
        return bus_test::WaitPolling([&] { return output().find(part) != std::string::npos; });
    }
    bool waitForEnd() {
        return bus_test::WaitPolling([&] { return process.state() == QProcess::NotRunning; });
    }
    QProcess process;
    std::string text;
};

TEST(VarnelCliWatch, PrintsEachNotificationWithItsQueuedRecord) {
    test_support::TempDir dir;
    test_support::PrivateBus bus({bus_test::PolicyForThisProcess(dir)});
    test_support::SystemBusAddressOverride address(bus.address());
    const std::string queues = dir.path() + "/queues/";
    Watch watch(bus.address(), {QString::fromStdString(dir.path() + "/queues")});
    ASSERT_TRUE(watch.waitForOutput("Watching " VARNEL_BUS_NAME " on " + bus.address() +
                                    " with the records of " + queues))
        << watch.output();

    hlsim::Simulator simulator;
    simulator.listen();
    std::optional<VarnelLibrary> varnel(std::in_place);
    OutText message;
    ASSERT_EQ((*varnel)->Connect("127.0.0.1", simulator.portText().c_str(), queues.c_str(),
                                 message.ptr()),
              0);
    simulator.send(
        {hlsim::BuildFrame("roomstatus", {{"room", "104"}, {"status", "1"}, {"field", "ABC"}})});
    simulator.send({hlsim::BuildFrame("checkout", {{"room", "10A"}})});
    ASSERT_TRUE(watch.waitForOutput("Checkout from reception set")) << watch.output();
    varnel.reset();
    ASSERT_TRUE(watch.waitForOutput("Disconnected from HL driver")) << watch.output();

    const std::string out = watch.output();
    const std::string time = R"(\d\d:\d\d:\d\d )";
    const std::string stamp = R"(\d{4}\.\d\d\.\d\d \d\d:\d\d\|)";
    const std::string indent = R"(\n {9})";
    const std::regex expected(time + R"(Connected to HL driver \(wParam 0, lParam 0\)\n)" + time +
                              R"(Room status event from HL driver \(wParam 0, lParam 104\))" +
                              indent + R"(RoomStates\.txt: \d+\|104\|1\|ABC\|)" + stamp + R"(\n)" +
                              // room 10A is no number: lParam 0 stands for the newest record
                              time + R"(Checkout from reception set \(wParam 0, lParam 0\))" +
                              indent + R"(CheckOuts\.txt: \d+\|10A\|)" + stamp + R"(\n)" + time +
                              R"(Disconnected from HL driver \(wParam 0, lParam 0\)\n)");
    EXPECT_TRUE(std::regex_search(out, expected)) << out;

    bus.kill();
    ASSERT_TRUE(watch.waitForEnd()) << watch.output();
    EXPECT_EQ(watch.process.exitCode(), 1);
    EXPECT_NE(watch.output().find("varnel-cli: the system bus connection ended"), std::string::npos)
        << watch.output();
}

TEST(VarnelCliWatch, WithoutABusItSaysWhereItLookedAndExits1) {
    test_support::TempDir dir;
    const std::string missing = "unix:path=" + dir.file("no-bus");
    Watch watch(missing, {});
    ASSERT_TRUE(watch.waitForEnd());
    EXPECT_EQ(watch.process.exitCode(), 1);
    EXPECT_NE(watch.output().find("varnel-cli: cannot connect to the system bus at " + missing +
                                  ": No such file or directory"),
              std::string::npos)
        << watch.output();

    Watch wrongUse(missing, {"a", "b"});
    ASSERT_TRUE(wrongUse.waitForEnd());
    EXPECT_EQ(wrongUse.process.exitCode(), 2);
    EXPECT_NE(wrongUse.output().find("watch takes one QUEUEFOLDER, not \"b\""), std::string::npos)
        << wrongUse.output();
}

// The session ends at the end of its input although the bus never answers: nothing
// waits for the bus, not even the exit.
TEST(VarnelCli, EndsWhileTheBusHangs) {
    test_support::TempDir dir;
    test_support::PrivateBus bus({bus_test::PolicyForThisProcess(dir)});
    bus.pause();
    hlsim::Simulator simulator;
    simulator.listen();
    QProcess cli;
    cli.setProcessEnvironment(WithBus(bus.address()));
    cli.setProcessChannelMode(QProcess::MergedChannels);
    cli.start(VARNEL_CLI, {"--library", VARNEL_LIBRARY_PATH});
    const std::string input =
        "connect 127.0.0.1 " + simulator.portText() + " " + dir.path() + "/queues/\ncheckout 101\n";
    cli.write(input.c_str());
    cli.closeWriteChannel();
    ASSERT_TRUE(bus_test::WaitPolling([&] { return cli.state() == QProcess::NotRunning; }, 60000));
    const std::string out = cli.readAll().toStdString();
    EXPECT_EQ(cli.exitCode(), 0) << out;
    EXPECT_NE(out.find("CheckOut(101) = 0"), std::string::npos) << out;
    EXPECT_NE(out.find("notification: Disconnected from HL driver"), std::string::npos) << out;
    bus.resume();
}

} // namespace
