// The committed system bus policy of the notifications, loaded by a real dbus-daemon:
// who may own the name, who may send the signals and who receives them. Clients run
// as other users through setpriv, so the checks need root.
#include "bus_fixture.h"

#include "test_support/private_bus.h"
#include "test_support/temp_dir.h"

#include <QProcess>
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

// RequestName for the library's name; dbus-send's answer or its error.
std::string RequestName(const std::string& address, const std::vector<std::string>& launcher) {
    QStringList arguments;
    for (size_t i = 1; i < launcher.size(); ++i)
        arguments << QString::fromStdString(launcher[i]);
    arguments << "dbus-send" << QString::fromStdString("--bus=" + address) << "--print-reply"
              << "--dest=org.freedesktop.DBus"
              << "/org/freedesktop/DBus"
              << "org.freedesktop.DBus.RequestName"
              << "string:" VARNEL_BUS_NAME << "uint32:4";
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

} // namespace
