#include "host_settings.h"

#include "rtl/numbers.h"

#include <cctype>
#include <filesystem>

namespace host {

namespace {

rtl::LogLevel ReadLevel(const std::string& text, const std::string& where) {
    rtl::LogLevel level;
    if (!rtl::ParseLogLevel(text, level))
        throw EUsageError("Unknown log level \"" + text + "\" in " + where +
                          " (trace, debug, warn, error or off)");
    return level;
}

std::string FromFolder(const std::string& folder, const std::string& path) {
    if (path.empty() || path.front() == '/')
        return path;
    std::filesystem::path joined = (std::filesystem::path(folder) / path).lexically_normal();
    // "." and "dir/" end in a separator after normalising: messages and the
    // lock file's path read better without it.
    if (!joined.has_filename() && joined.has_relative_path())
        joined = joined.parent_path();
    return joined.string();
}

bool ReadYesNo(const std::string& text, const std::string& where) {
    static const char* const yes[] = {"yes", "true", "1", "on"};
    static const char* const no[] = {"", "no", "false", "0", "off"};
    std::string lower;
    for (char c : text)
        lower += char(std::tolower(static_cast<unsigned char>(c)));
    for (const char* word : yes) {
        if (lower == word)
            return true;
    }
    for (const char* word : no) {
        if (lower == word)
            return false;
    }
    throw EUsageError("Invalid value \"" + text + "\" for " + where + " (yes or no)");
}

void CollectKeys(rtl::IResTree& node, const std::string& prefix, std::vector<std::string>& keys) {
    for (const auto& child : node.children()) {
        const std::string key = prefix + "." + child->name();
        keys.push_back(key);
        CollectKeys(*child, key, keys);
    }
}

} // namespace

std::string JoinedNames(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text.empty() ? "none" : text;
}

HostOptions ParseOptions(const std::vector<std::string>& args) {
    HostOptions options;
    bool timeoutGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        auto take = [&]() -> std::string {
            if (value)
                return *value;
            if (i + 1 >= args.size())
                throw EUsageError("Option " + name + " needs a value");
            return args[++i];
        };
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--config") {
            options.configFile = take();
        } else if (name == "--log-level") {
            options.logLevel = ReadLevel(take(), "--log-level");
        } else if (name == "--log-file") {
            options.logFile = take();
        } else if (name == "--check-config" && !value) {
            options.checkConfig = true;
        } else if (name == "--connect" && !value) {
            options.connect = true;
        } else if (name == "--status" && !value) {
            options.status = true;
        } else if (name == "--timeout") {
            const std::string text = take();
            const int seconds = rtl::IntOr(text, 0);
            if (seconds < 1 || seconds > 600 || std::to_string(seconds) != text)
                throw EUsageError("Invalid value \"" + text +
                                  "\" for --timeout (whole seconds, 1 to 600)");
            options.statusTimeoutMs = uint32_t(seconds) * 1000u;
            timeoutGiven = true;
        } else if (name == "--edit") {
            options.editPlugin = take();
            if (options.editPlugin->empty())
                throw EUsageError("Option --edit needs a plug-in name");
        } else {
            throw EUsageError("Unknown option \"" + args[i] + "\"");
        }
    }
    if (timeoutGiven && !options.status)
        throw EUsageError("Option --timeout goes with --status");
    if (options.status) {
        if (options.checkConfig || options.editPlugin || !options.configFile.empty())
            throw EUsageError("Option --status asks the running host and takes no other option "
                              "but --timeout");
        return options;
    }
    if (!options.help && options.configFile.empty())
        throw EUsageError("No configuration file given (--config FILE)");
    if (options.connect && !options.checkConfig)
        throw EUsageError("Option --connect goes with --check-config");
    if (options.checkConfig && options.editPlugin)
        throw EUsageError("Options --check-config and --edit exclude each other");
    return options;
}

std::string UsageText() {
    return "Usage: pbxhost --config FILE [--log-level LEVEL] [--log-file FILE]\n"
           "       pbxhost --config FILE --edit PLUGIN [--log-level LEVEL] [--log-file FILE]\n"
           "       pbxhost --config FILE --check-config [--connect]\n"
           "       pbxhost --status [--timeout SECONDS]\n"
           "\n"
           "Runs the plug-ins named in the configuration file's \"host\" section until\n"
           "it receives SIGTERM or SIGINT, then stops and unloads them and exits 0.\n"
           "SIGHUP reopens the log file. Under systemd (Type=notify) it reports\n"
           "readiness, pings the watchdog and keeps a one-line status.\n"
           "\n"
           "With --check-config it reads the file, loads each plug-in library without\n"
           "starting it, checks that the files and folders the plug-ins write can be\n"
           "written and that no password is readable by every user, prints one line\n"
           "per finding and exits 0 (no error) or 1; --connect also opens the\n"
           "database connections and the driver link once.\n"
           "\n"
           "With --status it asks the host that runs on this machine for its state over\n"
           "the system bus, prints it and exits 0 when all is well, 1 when something\n"
           "needs attention (or the host does not answer) and 2 when no host runs (or\n"
           "the bus cannot be reached), as a monitoring system's check expects.\n"
           "\n"
           "With --edit it loads and starts the plug-ins the same way, opens the settings\n"
           "dialog of PLUGIN (mod_quorvin, mod_varnel, mod_tellum, ...), saves the\n"
           "configuration file when the dialog is saved, stops the plug-ins and exits 0;\n"
           "it needs a display (DISPLAY or WAYLAND_DISPLAY) and exits 1 without one.\n"
           "\n"
           "  --config FILE      configuration file (see docs/configuration.md)\n"
           "  --edit PLUGIN      edit the settings of the plug-in named PLUGIN\n"
           "  --check-config     check the configuration and the plug-ins, then exit\n"
           "  --connect          with --check-config: also open the plug-ins' connections\n"
           "  --status           print the running host's state, then exit\n"
           "  --timeout SECONDS  with --status: how long to wait for the answer (default 5)\n"
           "  --log-level LEVEL  trace, debug, warn, error or off (default: host.log.level,\n"
           "                     else debug)\n"
           "  --log-file FILE    append log lines to FILE besides the console (default:\n"
           "                     host.log.file)\n"
           "  --help             this text\n";
}

HostSettings ReadHostSettings(rtl::IConfiguration& root, const HostOptions& options,
                              const std::string& defaultPluginDir,
                              const std::string& stateDirectory) {
    HostSettings settings;
    // Absolute: with "pbxhost.conf" the folder would be empty, and "./mod_x.so"
    // would lose its "./" and go to the system's search order as a bare name.
    const std::string configDir =
        std::filesystem::absolute(options.configFile).parent_path().lexically_normal().string();
    rtl::Ref<rtl::IConfiguration> section = root.sub("host");

    std::string pluginDir = section->get("plugin_dir");
    pluginDir = pluginDir.empty() ? defaultPluginDir : FromFolder(configDir, pluginDir);
    for (const auto& entry : section->sub("plugins")->tree()->children()) {
        const std::string value = entry->value();
        if (value.empty())
            continue;
        settings.pluginKeys.push_back("host.plugins." + entry->name());
        if (value.find('/') != std::string::npos) {
            settings.pluginFiles.push_back(FromFolder(configDir, value));
        } else {
            const bool hasSuffix =
                value.size() > 3 && value.compare(value.size() - 3, 3, ".so") == 0;
            settings.pluginFiles.push_back(
                (std::filesystem::path(pluginDir) / (hasSuffix ? value : value + ".so")).string());
        }
    }

    if (options.logLevel)
        settings.logLevel = *options.logLevel;
    else if (!section->get("log.level").empty())
        settings.logLevel = ReadLevel(section->get("log.level"), "host.log.level");

    if (options.logFile)
        settings.logFile = *options.logFile;
    else
        settings.logFile = FromFolder(configDir, section->get("log.file"));

    if (!section->get("state_dir").empty())
        settings.stateDir = FromFolder(configDir, section->get("state_dir"));
    else if (!stateDirectory.empty())
        settings.stateDir = stateDirectory.substr(0, stateDirectory.find(':'));
    else
        settings.stateDir = configDir;
    settings.allowNoPlugins = ReadYesNo(section->get("allow_no_plugins"), "host.allow_no_plugins");
    if (!section->get("text_codec").empty())
        settings.textCodec = section->get("text_codec");
    return settings;
}

std::vector<std::string> HostKeys(rtl::IConfiguration& root) {
    std::vector<std::string> keys;
    CollectKeys(*root.sub("host")->tree(), "host", keys);
    return keys;
}

} // namespace host
