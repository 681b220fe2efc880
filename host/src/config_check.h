// pbxhost --check-config: what can be known about a configuration without
// letting a plug-in work. The plug-ins are loaded but never started; they
// tell their keys, the files they write and, with --connect, how opening
// their connections went (rtl/config_check.h). Also the password check the
// host runs at every start.
#pragma once

#include "host_settings.h"
#include "plugin_loader.h"

#include "rtl/configuration.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace host {

struct Finding {
    enum Kind { Ok, Warning, Error };
    Kind kind = Ok;
    std::string text;
};

// The user the service runs as: "pbxhost" when the check runs as root and
// that user exists, else the one running the check.
struct ServiceUser {
    std::string name;
    uid_t uid = 0;
    std::vector<gid_t> groups; // the primary group first
    static ServiceUser ForCheck();
};

// Empty when `user` can write `path` (a folder to write files into, created
// with its parents when missing, or a file, created when missing unless it
// `mustExist`); else why not.
std::string WriteProblem(const std::string& path, bool folder, const ServiceUser& user,
                         bool mustExist = false);

// The keys holding a non-empty password when the file can be read by every
// user of the machine; empty otherwise.
std::vector<std::string> PasswordsReadableByAll(const std::string& configFile,
                                                rtl::IConfiguration& config);

// The whole check; `loader` is empty and is left holding the loaded plug-ins.
std::vector<Finding> CheckConfiguration(const std::string& configFile, rtl::IConfiguration& config,
                                        const HostSettings& settings, TPluginLoader& loader,
                                        bool connect, const ServiceUser& user);

// "<file>: ok: ...", "<file>: warning: ...", "<file>: error: ...".
std::string FindingLine(const std::string& configFile, const Finding& finding);

} // namespace host
