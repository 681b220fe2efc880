// The host program's own settings: command-line options and the "host"
// section of its configuration file (plug-in list, log level and file).
#pragma once

#include "rtl/configuration.h"
#include "rtl/logger.h"

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
    std::string configFile;
    std::optional<rtl::LogLevel> logLevel;
    std::optional<std::string> logFile;
    // --edit PLUGIN: run that plug-in's configuration editor instead of the host.
    std::optional<std::string> editPlugin;
};

// Reads --config FILE, --log-level LEVEL, --log-file FILE, --edit PLUGIN
// (also as --name=value) and --help; raises EUsageError for anything else.
HostOptions ParseOptions(const std::vector<std::string>& args);

std::string UsageText();

struct HostSettings {
    std::vector<std::string> pluginFiles; // in the configuration's order
    rtl::LogLevel logLevel = rtl::LogLevel::Debug;
    std::string logFile; // empty: console only
};

// The settings from the "host" section, overridden by the options. Relative
// paths count from the configuration file's folder; a plug-in given by name
// ("mod_tellum") is <plugin folder>/<name>.so, the plug-in folder being
// host.plugin_dir or `defaultPluginDir`. Raises EUsageError for a bad level.
HostSettings ReadHostSettings(rtl::IConfiguration& root, const HostOptions& options,
                              const std::string& defaultPluginDir);

} // namespace host
