// pbxhost: runs the plug-ins named in its configuration file until SIGTERM or
// SIGINT, then stops and unloads them in reverse order and exits 0. With
// --edit PLUGIN it runs that plug-in's configuration editor instead and saves
// the file when the user saved.
#include "bus_status_log.h"
#include "host_settings.h"
#include "plugin_editing.h"
#include "plugin_loader.h"
#include "signal_watcher.h"

#include "platform/application.h"

#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/host_module.h"
#include "rtl/log_sinks.h"
#include "rtl/logger.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

namespace {

const char* const Source = "pbxhost";

const char* SignalName(int signo) {
    switch (signo) {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    default:
        return "signal";
    }
}

// build/bin/pbxhost finds its plug-ins in build/lib.
std::string DefaultPluginDir() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return "lib";
    return (exe.parent_path().parent_path() / "lib").string();
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text.empty() ? "none" : text;
}

// Runs the editor for `name` on the loaded configuration; the file is written
// only when the user saved. Answers the exit code.
int EditPlugin(const std::string& name, const std::string& configFile, rtl::TConfiguration& config,
               rtl::IContext* context, const host::TPluginLoader& loader,
               std::optional<host::DialogAnswer> testAnswer) {
    rtl::Ref<frame::ICfgEditor> editor = host::FindEditor(context, loader, name);
    if (!editor) {
        rtl::TLogger::error(Source,
                            "Cannot edit %s: no running plug-in has an editor for it "
                            "(running: %s)",
                            name, Joined(loader.pluginNames()));
        return 1;
    }
    std::optional<host::DialogAutoAnswer> autoAnswer;
    if (testAnswer)
        autoAnswer.emplace(*testAnswer);
    try {
        editor->accepts(static_cast<rtl::IConfiguration*>(&config));
        rtl::TLogger::debug(Source, "Editing %s with %s", name, editor->editorName());
        if (!editor->edit(context)) {
            rtl::TLogger::debug(Source, "Editing %s cancelled; %s not changed", name, configFile);
            return 0;
        }
        config.save(configFile);
        rtl::TLogger::debug(Source, "Settings of %s saved to %s", name, configFile);
        return 0;
    } catch (const std::exception& e) {
        rtl::TLogger::error(Source, "Editing %s failed: %s", name, e.what());
        return 1;
    }
}

int Run(int argc, char** argv) {
    host::HostOptions options;
    try {
        options = host::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const host::EUsageError& e) {
        std::fprintf(stderr, "pbxhost: %s\n\n%s", e.what(), host::UsageText().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(host::UsageText().c_str(), stdout);
        return 0;
    }

    auto console = std::make_shared<rtl::ConsoleLogSink>();
    rtl::TLogger::addSink(console);

    rtl::Ref<rtl::TConfiguration> config;
    host::HostSettings settings;
    try {
        config = rtl::TConfiguration::load(options.configFile);
        settings = host::ReadHostSettings(*config, options, DefaultPluginDir());
        rtl::TLogger::setLevel(settings.logLevel);
        if (!settings.logFile.empty())
            rtl::TLogger::addSink(std::make_shared<rtl::FileLogSink>(settings.logFile));
    } catch (const std::exception& e) {
        rtl::TLogger::error(Source, "Host not started: %s", e.what());
        return 1;
    }

    platform::Application app(argc, argv);
    std::optional<host::DialogAnswer> testAnswer;
    if (options.editPlugin) {
        try {
            testAnswer = host::TestDialogAnswer();
        } catch (const host::EUsageError& e) {
            rtl::TLogger::error(Source, "Host not started: %s", e.what());
            return 2;
        }
        if (!testAnswer && !platform::HasDisplay()) {
            rtl::TLogger::error(Source,
                                "Cannot edit %s: there is no display to show the dialog on "
                                "(Qt platform \"%s\"; set DISPLAY or WAYLAND_DISPLAY)",
                                *options.editPlugin, QGuiApplication::platformName().toStdString());
            return 1;
        }
    }
    rtl::TLogger::debug(Source, "Host starting with configuration %s", options.configFile);

    rtl::Ref<rtl::TContext> context(new rtl::TContext);
    context->registerObject(config.get());
    rtl::Ref<rtl::IHostModule> hostModule(new rtl::TGUIHostModule(QCoreApplication::instance()));

    int exitCode = 0;
    {
        host::SignalWatcher signalWatcher([](int signo) {
            rtl::TLogger::debug(Source, "%s received, stopping", SignalName(signo));
            platform::Quit(0);
        });
        const host::BusStatusLog busStatusLog; // the link library's notifications on the bus
        host::TPluginLoader loader(context, hostModule);
        for (const auto& file : settings.pluginFiles)
            loader.load(file);
        const auto names = loader.pluginNames();
        if (names.empty())
            rtl::TLogger::warn(Source, "No plug-in is running");
        if (options.editPlugin) {
            exitCode = EditPlugin(*options.editPlugin, options.configFile, *config, context.get(),
                                  loader, testAnswer);
        } else {
            rtl::TLogger::debug(Source, "Host running with %d plug-in(s)", int(names.size()));
            exitCode = app.exec();
        }
        loader.unloadAll();
    }
    context->clear();
    rtl::TLogger::debug(Source, "Host stopped");
    return exitCode;
}

} // namespace

int main(int argc, char** argv) {
    // Before any thread exists, so that every thread inherits the blocked mask.
    host::SignalWatcher::BlockSignals();
    const int code = Run(argc, argv);
    rtl::TLogger::removeAllSinks();
    return code;
}
