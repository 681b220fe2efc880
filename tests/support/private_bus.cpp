#include "test_support/private_bus.h"

#include "platform/event_loop.h"
#include "platform/tick_count.h"
#include "platform/timer.h"

#include <QStringList>

#include <csignal>
#include <cstdlib>
#include <regex>
#include <stdexcept>
#include <sys/stat.h>

namespace test_support {

namespace {

// The default rules of Debian's system bus (/usr/share/dbus-1/system.conf), so that a
// policy file meets the rules it meets on a real machine.
const char* const SystemBusDefaults = R"(
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Properties"/>
    <deny send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"
          send_member="UpdateActivationEnvironment"/>
  </policy>
  <policy user="root">
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Monitoring"/>
  </policy>
)";

const char* const ProbeInterface = "test.Probe";

// Other processes give no event to wake a wait: poll now and then.
bool WaitPolling(const std::function<bool()>& condition, uint32_t ms) {
    platform::Timer poll([] {});
    poll.setInterval(20);
    poll.start();
    return platform::WaitUntil(condition, ms);
}

QStringList Arguments(const std::vector<std::string>& words, size_t from) {
    QStringList list;
    for (size_t i = from; i < words.size(); ++i)
        list << QString::fromStdString(words[i]);
    return list;
}

} // namespace

PrivateBus::PrivateBus(const std::vector<std::string>& policyFiles) {
    // Clients of other users (setpriv) reach the socket too.
    ::chmod(dir_.path().c_str(), 0755);
    std::string config = "<!DOCTYPE busconfig PUBLIC "
                         "\"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                         "<busconfig>\n  <type>system</type>\n  <listen>unix:path=" +
                         dir_.file("bus") + "</listen>\n  <auth>EXTERNAL</auth>\n" +
                         SystemBusDefaults;
    for (const auto& file : policyFiles)
        config += "  <include>" + file + "</include>\n";
    config += "</busconfig>\n";
    WriteFile(dir_.file("bus.conf"), config);

    // The address without the daemon's guid, as a system bus is known: it stays the
    // same when the daemon is started again.
    address_ = "unix:path=" + dir_.file("bus");
    start();
}

void PrivateBus::start() {
    daemon_ = std::make_unique<QProcess>();
    daemon_->start("dbus-daemon", {"--config-file=" + QString::fromStdString(dir_.file("bus.conf")),
                                   "--nofork", "--nopidfile", "--nosyslog", "--print-address=1"});
    if (!daemon_->waitForStarted(20000))
        throw std::runtime_error("dbus-daemon does not start (is it installed?)");
    std::string out;
    WaitPolling(
        [&] {
            out += daemon_->readAllStandardOutput().toStdString();
            return out.find('\n') != std::string::npos || daemon_->state() == QProcess::NotRunning;
        },
        20000);
    if (out.find('\n') == std::string::npos)
        throw std::runtime_error("dbus-daemon did not start: " + errors());
}

void PrivateBus::restart() {
    kill();
    start();
}

PrivateBus::~PrivateBus() {
    if (daemon_->state() != QProcess::NotRunning) {
        resume();
        daemon_->kill();
        daemon_->waitForFinished(10000);
    }
}

int64_t PrivateBus::pid() const {
    return daemon_->processId();
}

std::string PrivateBus::errors() {
    errors_ += daemon_->readAllStandardError().toStdString();
    return errors_;
}

void PrivateBus::kill() {
    resume();
    daemon_->kill();
    daemon_->waitForFinished(10000);
}

void PrivateBus::pause() {
    if (daemon_->state() != QProcess::NotRunning)
        ::kill(pid_t(daemon_->processId()), SIGSTOP);
}

void PrivateBus::resume() {
    if (daemon_->state() != QProcess::NotRunning)
        ::kill(pid_t(daemon_->processId()), SIGCONT);
}

SystemBusAddressOverride::SystemBusAddressOverride(const std::string& address) {
    if (const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
        had_ = true;
        previous_ = old;
    }
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
}

SystemBusAddressOverride::~SystemBusAddressOverride() {
    if (had_)
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", previous_.c_str(), 1);
    else
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

BusMonitor::BusMonitor(const std::string& address, const std::vector<std::string>& rules,
                       const std::vector<std::string>& launcher)
    : address_(address) {
    std::vector<std::string> command = launcher;
    command.insert(command.end(), {"dbus-monitor", "--address", address});
    command.insert(command.end(), rules.begin(), rules.end());
    command.push_back(std::string("type='signal',interface='") + ProbeInterface + "'");
    process_.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&process_, &QProcess::readyRead, [this] { read(); });
    process_.start(QString::fromStdString(command[0]), Arguments(command, 1));
    if (!process_.waitForStarted(20000))
        throw std::runtime_error("dbus-monitor does not start (is dbus-bin installed?)");
    // A match rule takes effect some time after the monitor started: probe until a
    // probe signal comes through (bounded; each probe waits a little for its echo).
    for (int attempt = 0; attempt < 50; ++attempt) {
        SendSignalWithDbusSend(address, "/probe", std::string(ProbeInterface) + ".Ready", {});
        if (WaitPolling([&] { return !signalsOf(ProbeInterface).empty(); }, 400))
            return;
        if (process_.state() == QProcess::NotRunning)
            break;
    }
    throw std::runtime_error("dbus-monitor receives nothing: " + output());
}

BusMonitor::~BusMonitor() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(10000);
    }
}

void BusMonitor::read() {
    const std::string chunk = process_.readAll().toStdString();
    text_ += chunk;
    pending_ += chunk;
    static const std::regex Header(
        R"(^signal time=\S+ sender=(\S+) -> destination=.*? serial=\S+ path=([^;]*); )"
        R"(interface=([^;]*); member=(\S+))");
    size_t end;
    while ((end = pending_.find('\n')) != std::string::npos) {
        const std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        std::smatch m;
        if (std::regex_search(line, m, Header)) {
            parsed_.push_back({m[1], m[2], m[3], m[4], {}});
        } else if (line.rfind("   ", 0) == 0 && !parsed_.empty()) {
            parsed_.back().arguments.push_back(line.substr(line.find_first_not_of(' ')));
        } else if (!line.empty() && line[0] != ' ' && !parsed_.empty() &&
                   parsed_.back().member != "") {
            // Another kind of message: its arguments must not join the last signal's.
            parsed_.push_back({"", "", "", "", {}});
        }
    }
}

std::vector<MonitoredSignal> BusMonitor::signalsOf(const std::string& interfaceName) {
    read();
    // dbus-monitor writes line by line: the last message may still lack arguments
    // until another message follows it.
    std::vector<MonitoredSignal> result;
    for (size_t i = 0; i + 1 < parsed_.size(); ++i)
        if (parsed_[i].interfaceName == interfaceName)
            result.push_back(parsed_[i]);
    return result;
}

bool BusMonitor::waitFor(const std::string& interfaceName, size_t count, uint32_t ms) {
    uint32_t lastProbe = platform::TickCount();
    return WaitPolling(
        [&] {
            if (signalsOf(interfaceName).size() >= count)
                return true;
            // A probe makes the last message complete.
            if (!parsed_.empty() && parsed_.back().interfaceName == interfaceName &&
                platform::TicksSince(lastProbe) >= 200) {
                SendSignalWithDbusSend(address_, "/probe", std::string(ProbeInterface) + ".Ready",
                                       {});
                lastProbe = platform::TickCount();
            }
            return false;
        },
        ms);
}

std::string BusMonitor::output() {
    read();
    return text_;
}

bool SendSignalWithDbusSend(const std::string& address, const std::string& path,
                            const std::string& interfaceAndMember,
                            const std::vector<std::string>& arguments,
                            const std::vector<std::string>& launcher) {
    std::vector<std::string> command = launcher;
    command.insert(command.end(),
                   {"dbus-send", "--bus=" + address, "--type=signal", path, interfaceAndMember});
    command.insert(command.end(), arguments.begin(), arguments.end());
    QProcess send;
    send.start(QString::fromStdString(command[0]), Arguments(command, 1));
    return send.waitForFinished(20000) && send.exitStatus() == QProcess::NormalExit &&
           send.exitCode() == 0;
}

} // namespace test_support
