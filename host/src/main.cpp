// pbxhost: runs the plug-ins named in its configuration file until a stop
// signal, then stops and unloads them in reverse order. With --edit PLUGIN it
// runs that plug-in's configuration editor instead and saves the file when
// the user saved; with --check-config it checks the file and the plug-ins; with
// --status it asks the running host for its state.
#include "bus_status_log.h"
#include "config_check.h"
#include "host_settings.h"
#include "plugin_editing.h"
#include "plugin_loader.h"
#include "service_notifier.h"
#include "signal_watcher.h"
#include "state_lock.h"
#include "status_object.h"
#include "status_query.h"

#include "platform/application.h"

#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/host_module.h"
#include "rtl/log_sinks.h"
#include "rtl/logger.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

const char* const Source = "pbxhost";

// build/bin/pbxhost finds its plug-ins in build/lib; an installed one in the
// package's library folder beside bin.
std::string DefaultPluginDir() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return "lib";
#ifdef PBXHOST_INSTALLED_PLUGIN_DIR
    const auto installed = exe.parent_path().parent_path() / PBXHOST_INSTALLED_PLUGIN_DIR;
    if (std::filesystem::is_directory(installed, ec))
        return installed.string();
#endif
    return (exe.parent_path().parent_path() / "lib").string();
}

// A reason the host cannot start: an error record, and straight to standard
// error when the log level would drop it, so that it is never silent.
void Fatal(const std::string& text) {
    if (rtl::TLogger::isEnabled(rtl::LogLevel::Error))
        rtl::TLogger::error(Source, "%s", text);
    else
        std::fprintf(stderr, "pbxhost: %s\n", text.c_str());
}

// Qt's own messages (a missing XDG_RUNTIME_DIR, a platform plug-in's notes)
// go through the log like every other line, so the journal gets them as one
// record each with a priority.
void QtMessageToLog(QtMsgType type, const QMessageLogContext&, const QString& message) {
    const rtl::LogLevel level = type == QtDebugMsg || type == QtInfoMsg ? rtl::LogLevel::Debug
                                : type == QtWarningMsg                  ? rtl::LogLevel::Warn
                                                                        : rtl::LogLevel::Error;
    rtl::TLogger::log(level, "Qt", "%s", message.toStdString());
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
                            name, host::JoinedNames(loader.pluginNames()));
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

// The names of the configured plug-ins, read from their libraries without
// starting any of them.
std::vector<std::string> ProbePluginNames(const host::HostSettings& settings,
                                          rtl::Ref<rtl::IContext> context,
                                          rtl::Ref<rtl::IHostModule> hostModule) {
    host::TPluginLoader probe(std::move(context), std::move(hostModule));
    for (const auto& file : settings.pluginFiles)
        probe.load(file, false);
    std::vector<std::string> names = probe.pluginNames();
    probe.unloadAll();
    return names;
}

int CheckConfig(const host::HostOptions& options, rtl::TConfiguration& config,
                const host::HostSettings& settings, rtl::Ref<rtl::IContext> context,
                rtl::Ref<rtl::IHostModule> hostModule) {
    host::TPluginLoader loader(context, hostModule);
    const auto findings = host::CheckConfiguration(options.configFile, config, settings, loader,
                                                   options.connect, host::ServiceUser::ForCheck());
    loader.unloadAll();
    bool failed = false;
    for (const auto& finding : findings) {
        std::printf("%s\n", host::FindingLine(options.configFile, finding).c_str());
        failed = failed || finding.kind == host::Finding::Error;
    }
    std::fflush(stdout);
    return failed ? 1 : 0;
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
    if (options.status) {
        const host::StatusReport report = host::QueryStatus(options.statusTimeoutMs);
        std::fputs(report.text.c_str(), stdout);
        std::fflush(stdout);
        return report.exitCode;
    }

    // The console from the start, so that a configuration that cannot be read
    // is reported; its code page comes with the settings.
    std::shared_ptr<rtl::ConsoleLogSink> console = std::make_shared<rtl::ConsoleLogSink>();
    rtl::TLogger::addSink(console);
    rtl::Ref<rtl::TConfiguration> config;
    host::HostSettings settings;
    std::shared_ptr<rtl::FileLogSink> fileSink;
    try {
        config = rtl::TConfiguration::load(options.configFile);
        const char* stateDirectory = std::getenv("STATE_DIRECTORY");
        settings = host::ReadHostSettings(*config, options, DefaultPluginDir(),
                                          stateDirectory ? stateDirectory : "");
        // A check prints its findings; the log shows only errors unless asked.
        rtl::TLogger::setLevel(options.checkConfig && !options.logLevel ? rtl::LogLevel::Error
                                                                        : settings.logLevel);
        rtl::TLogger::removeSink(console);
        console = std::make_shared<rtl::ConsoleLogSink>(settings.textCodec);
        rtl::TLogger::addSink(console);
        if (!settings.logFile.empty() && !options.checkConfig) {
            fileSink = std::make_shared<rtl::FileLogSink>(settings.logFile);
            rtl::TLogger::addSink(fileSink);
        }
    } catch (const std::exception& e) {
        if (options.checkConfig) {
            std::printf("%s: error: %s\n", options.configFile.c_str(), e.what());
            return 1;
        }
        Fatal(std::string("Host not started: ") + e.what());
        return 1;
    }

    qInstallMessageHandler(QtMessageToLog);
    platform::Application app(argc, argv);
    rtl::Ref<rtl::TContext> context(new rtl::TContext);
    context->registerObject(config.get());
    rtl::Ref<rtl::IHostModule> hostModule(new rtl::TGUIHostModule(QCoreApplication::instance()));

    if (options.checkConfig) {
        const int code = CheckConfig(options, *config, settings, context, hostModule);
        context->clear();
        return code;
    }

    for (const auto& key : host::PasswordsReadableByAll(options.configFile, *config))
        rtl::TLogger::warn(Source,
                           "%s holds %s and every user of this machine can read it; make it "
                           "readable by the service only (chmod 0640, group pbxhost)",
                           options.configFile, key);

    std::optional<host::DialogAnswer> testAnswer;
    if (options.editPlugin) {
#ifdef PBXHOST_TEST_DIALOG_HOOK
        try {
            testAnswer = host::TestDialogAnswer();
        } catch (const host::EUsageError& e) {
            Fatal(std::string("Host not started: ") + e.what());
            return 2;
        }
#endif
        if (!testAnswer && !platform::HasDisplay()) {
            rtl::TLogger::error(Source,
                                "Cannot edit %s: there is no display to show the dialog on "
                                "(Qt platform \"%s\"; set DISPLAY or WAYLAND_DISPLAY)",
                                *options.editPlugin, QGuiApplication::platformName().toStdString());
            return 1;
        }
    }

    if (settings.pluginFiles.empty() && !settings.allowNoPlugins) {
        const auto keys = host::HostKeys(*config);
        Fatal("Host not started: " + options.configFile +
              " names no plug-in under host.plugins (keys read from its [host] section: " +
              host::JoinedNames(keys) +
              "); set host.allow_no_plugins = yes for a host without plug-ins");
        return 1;
    }

    // Before any plug-in runs: a second host, or an --edit beside the
    // service, would work on the same queues and front-desk events.
    std::optional<host::StateLock> lock;
    try {
        lock.emplace(settings.stateDir);
    } catch (const std::exception& e) {
        Fatal(std::string("Host not started: ") + e.what());
        return 1;
    }

    if (options.editPlugin) {
        const auto names = ProbePluginNames(settings, context, hostModule);
        if (std::find(names.begin(), names.end(), *options.editPlugin) == names.end()) {
            Fatal("Cannot edit " + *options.editPlugin + ": no plug-in of that name is listed in " +
                  options.configFile + " (listed: " + host::JoinedNames(names) + ")");
            return 1;
        }
    }
    rtl::TLogger::debug(Source, "Host starting with configuration %s", options.configFile);

    int exitCode = 0;
    {
        host::ServiceNotifier notifier(context);
        host::SignalWatcher signalWatcher([&](int signo) {
            if (!host::SignalWatcher::IsStopSignal(signo)) {
                if (!fileSink) {
                    rtl::TLogger::debug(Source, "%s received: no log file to reopen",
                                        host::SignalWatcher::Name(signo));
                    return;
                }
                try {
                    fileSink->reopen();
                    rtl::TLogger::debug(Source, "%s received, log file %s reopened",
                                        host::SignalWatcher::Name(signo), fileSink->path());
                } catch (const std::exception& e) {
                    rtl::TLogger::error(Source, "%s received, log file not reopened: %s",
                                        host::SignalWatcher::Name(signo), e.what());
                }
                return;
            }
            rtl::TLogger::debug(Source, "%s received, stopping", host::SignalWatcher::Name(signo));
            // SIGTERM and SIGINT are the orderly ways to stop; any other signal
            // still stops in order but says by the exit code which one came.
            platform::Quit(signo == SIGTERM || signo == SIGINT ? 0 : 128 + signo);
        });
        const host::BusStatusLog busStatusLog; // the link library's notifications on the bus
        host::TPluginLoader loader(context, hostModule);
        for (const auto& file : settings.pluginFiles)
            loader.load(file);
        const auto names = loader.pluginNames();
        if (names.empty() && !settings.allowNoPlugins) {
            Fatal("Host not started: none of the plug-ins named in " + options.configFile +
                  " is running (" + host::JoinedNames(settings.pluginKeys) +
                  "); see the errors above");
            exitCode = 1;
        } else if (options.editPlugin) {
            exitCode = EditPlugin(*options.editPlugin, options.configFile, *config, context.get(),
                                  loader, testAnswer);
        } else {
            const host::StatusObject statusObject(
                context,
                host::HostFacts{
                    .pid = ::getpid(),
                    .startedAt = int64_t(std::time(nullptr)),
                    .configFile =
                        std::filesystem::absolute(options.configFile).lexically_normal().string(),
                    .pluginsConfigured = settings.pluginFiles.size(),
                    .pluginsRunning = names});
            rtl::TLogger::debug(Source, "Host running with %d plug-in(s)", int(names.size()));
            notifier.ready();
            exitCode = app.exec();
            notifier.stopping();
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
