// The committed system bus policies, loaded by a real dbus-daemon: for the
// notifications, who may own the name, who may send the signals and who receives them;
// for the host's status, who may serve it and who may read it. Clients run as other
// users through setpriv, so the checks need root.
#include "bus_fixture.h"

#include "platform/bus_signals.h"
#include "platform/event_loop.h"
#include "test_support/private_bus.h"
#include "test_support/temp_dir.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using test_support::BusMonitor;
using test_support::PrivateBus;
using test_support::SendSignalWithDbusSend;

// Runs as the user of that name (with the user's groups).
std::vector<std::string> As(const std::string& user) {
    const passwd* pw = ::getpwnam(user.c_str());
    if (!pw)
        throw std::runtime_error("no user " + user);
    return {"setpriv", "--reuid=" + std::to_string(pw->pw_uid),
            "--regid=" + std::to_string(pw->pw_gid), "--init-groups", "--"};
}

// RequestName for `name` (the library's unless told); dbus-send's answer or its error.
std::string RequestName(const std::string& address, const std::vector<std::string>& launcher,
                        const std::string& name = VARNEL_BUS_NAME) {
    QStringList arguments;
    for (size_t i = 1; i < launcher.size(); ++i)
        arguments << QString::fromStdString(launcher[i]);
    arguments << "dbus-send" << QString::fromStdString("--bus=" + address) << "--print-reply"
              << "--dest=org.freedesktop.DBus"
              << "/org/freedesktop/DBus"
              << "org.freedesktop.DBus.RequestName" << QString::fromStdString("string:" + name)
              << "uint32:4";
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(launcher.empty() ? QString("dbus-send") : QString::fromStdString(launcher[0]),
            launcher.empty() ? arguments.mid(1) : arguments);
    p.waitForFinished(20000);
    return p.readAll().toStdString();
}

// A notification sent with dbus-send, as the library sends it.
bool SendNotification(const std::string& address, const std::string& name,
                      const std::vector<std::string>& launcher) {
    return SendSignalWithDbusSend(address, VARNEL_BUS_PATH,
                                  std::string(VARNEL_BUS_INTERFACE) + "." + VARNEL_BUS_SIGNAL,
                                  {"string:" + name, "uint32:0", "int32:0"}, launcher);
}

std::vector<std::string> NamesReceived(BusMonitor& monitor) {
    std::vector<std::string> names;
    for (const auto& s : monitor.signalsOf(VARNEL_BUS_INTERFACE))
        names.push_back(s.arguments.empty() ? "" : s.arguments[0]);
    return names;
}

TEST(BusPolicy, TheInstalledFileLoadsAndLetsRootOwnTheName) {
    // As committed: the user and group it names may not exist here, which the daemon
    // only warns about. A file it cannot parse would stop it from starting.
    PrivateBus bus({VARNEL_BUS_POLICY});
    if (::getuid() != 0)
        GTEST_SKIP() << "the file loads; whether its rules apply needs root to check";
    // The default rules let nobody own a name: only the file's rule for root does.
    const std::string answer = RequestName(bus.address(), {});
    EXPECT_NE(answer.find("uint32 1"), std::string::npos) << answer;
}

TEST(BusPolicy, TheServiceUserOwnsAndSendsItsGroupReceivesOthersNeither) {
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to act as other users";
    // Stand-ins that exist on every Debian system: user daemon for the service's
    // user, group nogroup (user nobody's) for its group; user bin is neither.
    test_support::TempDir dir;
    PrivateBus bus({bus_test::PolicyFor(dir, "daemon", "nogroup")});

    EXPECT_NE(RequestName(bus.address(), As("daemon")).find("uint32 1"), std::string::npos);
    const std::string refused = RequestName(bus.address(), As("nobody"));
    EXPECT_NE(refused.find("AccessDenied"), std::string::npos) << refused;

    BusMonitor member(bus.address(), {"type='signal',interface='" VARNEL_BUS_INTERFACE "'"},
                      As("nobody"));
    BusMonitor outsider(bus.address(), {"type='signal',interface='" VARNEL_BUS_INTERFACE "'"},
                        As("bin"));
    SendNotification(bus.address(), "forged by a member", As("nobody"));
    SendNotification(bus.address(), "forged by an outsider", As("bin"));
    ASSERT_TRUE(SendNotification(bus.address(), "from the service", As("daemon")));
    ASSERT_TRUE(SendNotification(bus.address(), "from root", {}));

    // Signals of one bus reach a receiver in the order they were sent, so once the
    // last one is in, the refused ones will not come.
    ASSERT_TRUE(member.waitFor(VARNEL_BUS_INTERFACE, 2)) << member.output();
    EXPECT_EQ(NamesReceived(member),
              (std::vector<std::string>{"string \"from the service\"", "string \"from root\""}));
    // The outsider's monitor receives its probes, so it listens; it gets none of these.
    const size_t probes = outsider.signalsOf("test.Probe").size();
    ASSERT_TRUE(SendSignalWithDbusSend(bus.address(), "/probe", "test.Probe.Ready", {}));
    ASSERT_TRUE(outsider.waitFor("test.Probe", probes + 1)) << outsider.output();
    EXPECT_TRUE(NamesReceived(outsider).empty()) << outsider.output();
}

// pbxhost --status run through `launcher`: its exit code and what it printed.
std::pair<int, std::string> StatusAs(const std::string& address,
                                     const std::vector<std::string>& launcher) {
    QStringList arguments;
    for (size_t i = 1; i < launcher.size(); ++i)
        arguments << QString::fromStdString(launcher[i]);
    arguments << PBXHOST_PATH << "--status";
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", QString::fromStdString(address));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QString::fromStdString(launcher[0]), arguments);
    // This thread serves the status meanwhile.
    bus_test::WaitPolling([&] { return p.state() == QProcess::NotRunning; }, 30000);
    return {p.exitCode(), p.readAll().toStdString()};
}

TEST(BusPolicy, OnlyTheServiceUserServesTheStatusAndOnlyItsGroupReadsIt) {
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to act as other users";
    test_support::TempDir dir;
    PrivateBus bus({bus_test::PolicyFor(dir, "daemon", "nogroup", HOST_BUS_POLICY)});
    const std::string hostName = "org.hotelpbxlink.PbxHost";
    EXPECT_NE(RequestName(bus.address(), As("daemon"), hostName).find("uint32 1"),
              std::string::npos);
    const std::string refused = RequestName(bus.address(), As("nobody"), hostName);
    EXPECT_NE(refused.find("AccessDenied"), std::string::npos) << refused;

    // Root serves a status of its own, as a host started by hand would.
    test_support::SystemBusAddressOverride address(bus.address());
    platform::BusSignalChannel channel(hostName);
    channel.publish("/org/hotelpbxlink/PbxHost", "org.hotelpbxlink.PbxHost.Status1", [] {
        return std::vector<platform::BusProperty>{{"Healthy", true},
                                                  {"Attention", std::vector<std::string>{}}};
    });
    std::pair<int, std::string> member{-1, ""};
    for (int attempt = 0; attempt < 100 && member.first != 0; ++attempt) {
        member = StatusAs(bus.address(), As("nobody")); // group nogroup: the service's group
        if (member.first != 0)
            bus_test::WaitPolling([] { return false; }, 100);
    }
    EXPECT_EQ(member.first, 0) << member.second;
    EXPECT_NE(member.second.find("All is well\n"), std::string::npos) << member.second;

    const auto outsider = StatusAs(bus.address(), As("bin"));
    EXPECT_EQ(outsider.first, 1) << outsider.second;
    EXPECT_NE(outsider.second.find("The host does not tell its status: " + hostName + " on " +
                                   bus.address() +
                                   " answered org.freedesktop.DBus.Error.AccessDenied"),
              std::string::npos)
        << outsider.second;
}

} // namespace
