// The host program's own settings: command-line options and the "host"
// section of its configuration file (plug-in list, log level and file).
#pragma once

#include "rtl/configuration.h"
#include "rtl/logger.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace host {

// A wrong option or setting; the message names the bad value.
class EUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct HostOptions {
    bool help = false;
    // --check-config: check the file and the plug-ins instead of running them;
    // with --connect also open their connections once.
    bool checkConfig = false;
    bool connect = false;
    std::string configFile;
    std::optional<rtl::LogLevel> logLevel;
    std::optional<std::string> logFile;
    // --edit PLUGIN: run that plug-in's configuration editor instead of the host.
    std::optional<std::string> editPlugin;
    // --status [--timeout SECONDS]: print the running host's state and exit.
    bool status = false;
    uint32_t statusTimeoutMs = 5000;
};

// Reads --config FILE, --log-level LEVEL, --log-file FILE, --edit PLUGIN
// (also as --name=value), --check-config [--connect], --status [--timeout
// SECONDS] and --help; raises EUsageError for anything else.
HostOptions ParseOptions(const std::vector<std::string>& args);

std::string UsageText();

struct HostSettings {
    std::vector<std::string> pluginFiles; // in the configuration's order
    std::vector<std::string> pluginKeys;  // "host.plugins.<name>" of each file
    rtl::LogLevel logLevel = rtl::LogLevel::Debug;
    std::string logFile; // empty: console only
    // Where the lock file goes: host.state_dir, else $STATE_DIRECTORY (set by
    // systemd's StateDirectory=), else the configuration file's folder.
    std::string stateDir;
    // host.allow_no_plugins = yes: a host without plug-ins is intended.
    bool allowNoPlugins = false;
    // host.text_codec: the code page of the texts (windows-1251 when not set).
    std::string textCodec = "windows-1251";
};

// The settings from the "host" section, overridden by the options. Relative
// paths count from the configuration file's folder (made absolute, so that
// "./mod_x.so" stays a path); a plug-in given by name ("mod_tellum") is
// <plugin folder>/<name>.so, the plug-in folder being host.plugin_dir or
// `defaultPluginDir`. `stateDirectory` is $STATE_DIRECTORY (may be empty).
// Raises EUsageError for a bad level or yes/no value.
HostSettings ReadHostSettings(rtl::IConfiguration& root, const HostOptions& options,
                              const std::string& defaultPluginDir,
                              const std::string& stateDirectory = {});

// "a, b, c" for messages, "none" for an empty list.
std::string JoinedNames(const std::vector<std::string>& names);

// The keys of the "host" section as "host.<path>", in file order, for messages.
std::vector<std::string> HostKeys(rtl::IConfiguration& root);

} // namespace host
