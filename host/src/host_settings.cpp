#include "host_settings.h"

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
    return (std::filesystem::path(folder) / path).lexically_normal().string();
}

} // namespace

HostOptions ParseOptions(const std::vector<std::string>& args) {
    HostOptions options;
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
        } else if (name == "--edit") {
            options.editPlugin = take();
            if (options.editPlugin->empty())
                throw EUsageError("Option --edit needs a plug-in name");
        } else {
            throw EUsageError("Unknown option \"" + args[i] + "\"");
        }
    }
    if (!options.help && options.configFile.empty())
        throw EUsageError("No configuration file given (--config FILE)");
    return options;
}

std::string UsageText() {
    return "Usage: pbxhost --config FILE [--log-level LEVEL] [--log-file FILE]\n"
           "       pbxhost --config FILE --edit PLUGIN [--log-level LEVEL] [--log-file FILE]\n"
           "\n"
           "Runs the plug-ins named in the configuration file's \"host\" section until\n"
           "it receives SIGTERM or SIGINT, then stops and unloads them and exits 0.\n"
           "\n"
           "With --edit it loads and starts the plug-ins the same way, opens the settings\n"
           "dialog of PLUGIN (mod_quorvin, mod_varnel, mod_tellum, ...), saves the\n"
           "configuration file when the dialog is saved, stops the plug-ins and exits 0;\n"
           "it needs a display (DISPLAY or WAYLAND_DISPLAY) and exits 1 without one.\n"
           "\n"
           "  --config FILE      configuration file (see docs/configuration.md)\n"
           "  --edit PLUGIN      edit the settings of the plug-in named PLUGIN\n"
           "  --log-level LEVEL  trace, debug, warn, error or off (default: host.log.level,\n"
           "                     else debug)\n"
           "  --log-file FILE    append log lines to FILE besides the console (default:\n"
           "                     host.log.file)\n"
           "  --help             this text\n";
}

HostSettings ReadHostSettings(rtl::IConfiguration& root, const HostOptions& options,
                              const std::string& defaultPluginDir) {
    HostSettings settings;
    const std::string configDir = std::filesystem::path(options.configFile).parent_path().string();
    rtl::Ref<rtl::IConfiguration> section = root.sub("host");

    std::string pluginDir = section->get("plugin_dir");
    pluginDir = pluginDir.empty() ? defaultPluginDir : FromFolder(configDir, pluginDir);
    for (const auto& entry : section->sub("plugins")->tree()->children()) {
        const std::string value = entry->value();
        if (value.empty())
            continue;
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
    return settings;
}

} // namespace host
