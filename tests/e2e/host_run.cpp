#include "host_run.h"

#include "platform/event_loop.h"
#include "platform/timer.h"

#include <QProcessEnvironment>
#include <QStringList>

#include <csignal>

namespace e2e {

bool WaitFor(const std::function<bool()>& condition, uint32_t ms) {
    platform::Timer poll([] {});
    poll.setInterval(50);
    poll.start();
    return platform::WaitUntil(condition, ms);
}

HostRun::HostRun(const test_support::TempDir& dir, const std::string& configuration,
                 const Environment& environment)
    : logFile_(dir.file("pbxhost.log")) {
    const std::string configFile = dir.file("pbxhost.conf");
    test_support::WriteFile(configFile, configuration);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : environment)
        env.insert(QString::fromStdString(name), QString::fromStdString(value));
    process_.setProcessEnvironment(env);
    // The host's console copy of the log is not needed: the log file has it all.
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.start(PBXHOST_PATH, {"--config", QString::fromStdString(configFile), "--log-file",
                                  QString::fromStdString(logFile_), "--log-level", "debug"});
    started_ = process_.waitForStarted(20000);
}

HostRun::~HostRun() {
    stop();
}

bool HostRun::running() const {
    return process_.state() != QProcess::NotRunning;
}

std::string HostRun::log() const {
    return test_support::ReadFile(logFile_);
}

bool HostRun::waitForLog(const std::string& text, uint32_t ms) {
    WaitFor([&] { return log().find(text) != std::string::npos || !running(); }, ms);
    return log().find(text) != std::string::npos;
}

int HostRun::stop(uint32_t ms) {
    if (!running())
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    // The wait dispatches events: a simulator in this process goes on serving the
    // host while it shuts down.
    ::kill(pid_t(process_.processId()), SIGTERM);
    if (WaitFor([&] { return !running(); }, ms))
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    process_.kill();
    process_.waitForFinished(10000);
    return -1;
}

} // namespace e2e
