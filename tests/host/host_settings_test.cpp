// Command-line options and the host's own section of the configuration.
#include "host_settings.h"

#include <gtest/gtest.h>

namespace {

using host::EUsageError;
using host::ParseOptions;
using rtl::LogLevel;

TEST(HostOptions, ReadsEveryOptionInBothForms) {
    const auto a =
        ParseOptions({"--config", "/etc/p.conf", "--log-level", "TRACE", "--log-file", "x.log"});
    EXPECT_EQ(a.configFile, "/etc/p.conf");
    EXPECT_EQ(a.logLevel, LogLevel::Trace);
    EXPECT_EQ(a.logFile, "x.log");
    const auto b = ParseOptions({"--config=c.conf", "--log-level=error"});
    EXPECT_EQ(b.configFile, "c.conf");
    EXPECT_EQ(b.logLevel, LogLevel::Error);
    EXPECT_FALSE(b.logFile);
    EXPECT_TRUE(ParseOptions({"--help"}).help);
    // The status is asked of the running host: no configuration file needed.
    const auto c = ParseOptions({"--status"});
    EXPECT_TRUE(c.status);
    EXPECT_EQ(c.statusTimeoutMs, 5000u);
    EXPECT_EQ(ParseOptions({"--status", "--timeout=12"}).statusTimeoutMs, 12000u);
}

TEST(HostOptions, RejectsWhatItCannotUse) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--config"}, "Option --config needs a value"},
        {{"--config", "a", "extra"}, "Unknown option \"extra\""},
        {{"--config", "a", "--log-level", "verbose"},
         "Unknown log level \"verbose\" in --log-level (trace, debug, warn, error or off)"},
        {{"--log-level", "debug"}, "No configuration file given (--config FILE)"},
        {{"--status", "--timeout", "0"},
         "Invalid value \"0\" for --timeout (whole seconds, 1 to 600)"},
        {{"--status", "--timeout", "1.5"},
         "Invalid value \"1.5\" for --timeout (whole seconds, 1 to 600)"},
        {{"--status", "--timeout", "601"},
         "Invalid value \"601\" for --timeout (whole seconds, 1 to 600)"},
        {{"--config", "a", "--timeout", "3"}, "Option --timeout goes with --status"},
        {{"--status", "--config", "a"},
         "Option --status asks the running host and takes no other option but --timeout"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(message);
        try {
            ParseOptions(args);
            ADD_FAILURE() << "no error";
        } catch (const EUsageError& e) {
            EXPECT_STREQ(e.what(), message.c_str());
        }
    }
}

TEST(HostSettings, ResolvesPluginsInOrderAndLetsOptionsWin) {
    rtl::TConfiguration config;
    config.set("host.plugins.manager", "mod_quorvin");
    config.set("host.plugins.modem", "mod_tellum.so");
    config.set("host.plugins.local", "plugins/mod_x.so");
    config.set("host.plugins.absolute", "/opt/pbx/mod_y.so");
    config.set("host.plugins.disabled", "");
    config.set("host.log.level", "warn");
    config.set("host.log.file", "logs/host.log");

    host::HostOptions options;
    options.configFile = "/etc/pbx/host.conf";
    auto settings = ReadHostSettings(config, options, "/usr/lib/pbx");
    EXPECT_EQ(settings.pluginFiles,
              (std::vector<std::string>{"/usr/lib/pbx/mod_quorvin.so", "/usr/lib/pbx/mod_tellum.so",
                                        "/etc/pbx/plugins/mod_x.so", "/opt/pbx/mod_y.so"}));
    EXPECT_EQ(settings.logLevel, LogLevel::Warn);
    EXPECT_EQ(settings.logFile, "/etc/pbx/logs/host.log");

    config.set("host.plugin_dir", "../lib");
    options.logLevel = LogLevel::Trace;
    options.logFile = "other.log";
    settings = ReadHostSettings(config, options, "/usr/lib/pbx");
    EXPECT_EQ(settings.pluginFiles.front(), "/etc/lib/mod_quorvin.so");
    EXPECT_EQ(settings.logLevel, LogLevel::Trace);
    EXPECT_EQ(settings.logFile, "other.log");

    config.set("host.log.level", "chatty");
    options.logLevel.reset();
    EXPECT_THROW(ReadHostSettings(config, options, "/usr/lib/pbx"), EUsageError);
}

} // namespace
