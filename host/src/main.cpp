// pbxhost: runs the plug-ins named in its configuration file until SIGTERM or
// SIGINT, then stops and unloads them in reverse order and exits 0.
#include "host_settings.h"
#include "plugin_loader.h"
#include "signal_watcher.h"

#include "platform/application.h"

#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/host_module.h"
#include "rtl/log_sinks.h"
#include "rtl/logger.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>

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
        host::TPluginLoader loader(context, hostModule);
        for (const auto& file : settings.pluginFiles)
            loader.load(file);
        const auto names = loader.pluginNames();
        if (names.empty())
            rtl::TLogger::warn(Source, "No plug-in is running");
        rtl::TLogger::debug(Source, "Host running with %d plug-in(s)", int(names.size()));
        exitCode = app.exec();
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
