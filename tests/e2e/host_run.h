// pbxhost as a child process of an end-to-end test: started on a configuration
// file of its own with its log in a file, watched through that log, and always
// stopped when the test ends, whatever it asserted (SIGTERM, then SIGKILL after
// a deadline).
#pragma once

#include "test_support/temp_dir.h"

#include <QProcess>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace e2e {

// Dispatches events until `condition` holds or `ms` have passed. Files, databases
// and other processes wake no event loop, so a short timer makes the wait look
// again now and then.
bool WaitFor(const std::function<bool()>& condition, uint32_t ms = 60000);

class HostRun {
public:
    using Environment = std::map<std::string, std::string>;

    // Writes the configuration into dir/pbxhost.conf and starts pbxhost with the log
    // level debug and its log in dir/pbxhost.log; `environment` is added to this
    // process's own.
    HostRun(const test_support::TempDir& dir, const std::string& configuration,
            const Environment& environment = {});
    ~HostRun();
    HostRun(const HostRun&) = delete;
    HostRun& operator=(const HostRun&) = delete;

    bool started() const { return started_; }
    bool running() const;
    std::string log() const;

    // Waits until the log holds `text`; false when the deadline passed or the host
    // ended without writing it.
    bool waitForLog(const std::string& text, uint32_t ms = 60000);

    // SIGTERM, then SIGKILL when the host has not ended within `ms`. Returns the
    // exit code of a host that ended by itself, else -1.
    int stop(uint32_t ms = 30000);

private:
    std::string logFile_;
    QProcess process_;
    bool started_ = false;
};

} // namespace e2e
