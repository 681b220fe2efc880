// The logger: sources, levels, formats, exceptions, the line layout and the
// routing through another instance's factory.
#include "rtl/log_sinks.h"
#include "rtl/logger.h"

#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>

namespace {

using rtl::LogLevel;
using rtl::TLogger;

namespace data {
class TvarnelDM {
public:
    virtual ~TvarnelDM() = default;
    void started(int ms) { TLogger::debug(this, "Timer started on %d", ms); }
};
class TDerivedDM : public TvarnelDM {};
struct TPlainStruct {
    void note() const { TLogger::warn(this, "%s|%5s|%-3d|%2.2d", "a", "b", 7, 3); }
};
} // namespace data

TEST(Logger, SourceIsTheObjectsClassNameOrTheCategory) {
    rtl::LogCapture log;
    data::TvarnelDM dm;
    dm.started(5000);
    data::TDerivedDM derived;
    derived.started(1); // the dynamic type names the line
    data::TPlainStruct().note();
    TLogger::trace("gui_lib_module", "headless_lib_module.lib_module_attach()");
    TLogger::error(std::string("category"), "plain %s", "text");

    const auto records = log.records();
    ASSERT_EQ(records.size(), 5u) << log.dump();
    EXPECT_TRUE(log.contains(LogLevel::Debug, "TvarnelDM", "Timer started on 5000"));
    EXPECT_TRUE(log.contains(LogLevel::Debug, "TDerivedDM", "Timer started on 1"));
    EXPECT_TRUE(log.contains(LogLevel::Warn, "TPlainStruct", "a|    b|7  |03"));
    EXPECT_TRUE(
        log.contains(LogLevel::Trace, "gui_lib_module", "headless_lib_module.lib_module_attach()"));
    EXPECT_TRUE(log.contains(LogLevel::Error, "category", "plain text"));
}

TEST(Logger, LevelFiltersAndAnswersTheEnabledQuestions) {
    rtl::LogCapture log(LogLevel::Warn);
    EXPECT_FALSE(TLogger::isTraceEnabled());
    EXPECT_FALSE(TLogger::isDebugEnabled());
    TLogger::trace("c", "t");
    TLogger::debug("c", "d");
    TLogger::warn("c", "w");
    TLogger::error("c", "e");
    EXPECT_EQ(log.texts(LogLevel::Warn), std::vector<std::string>{"w"});
    EXPECT_EQ(log.texts(LogLevel::Error), std::vector<std::string>{"e"});
    EXPECT_EQ(log.records().size(), 2u);

    TLogger::setLevel(LogLevel::Trace);
    EXPECT_TRUE(TLogger::isTraceEnabled());
    EXPECT_TRUE(TLogger::isDebugEnabled());
    TLogger::setLevel(LogLevel::Off);
    TLogger::error("c", "nothing");
    EXPECT_EQ(log.records().size(), 2u);
}

TEST(Logger, ErrorWithExceptionAndBadFormatsNeverRaise) {
    rtl::LogCapture log;
    const std::runtime_error failure("Connection refused");
    TLogger::error("c", failure, "Connect to %s:%d failed", "localhost", 2561);
    TLogger::error("c", failure, "");
    EXPECT_NO_THROW(TLogger::debug("c", "%d apples", "many"));
    EXPECT_NO_THROW(TLogger::debug("c", "%s and %s", "one"));
    const auto errors = log.texts(LogLevel::Error);
    EXPECT_EQ(errors,
              (std::vector<std::string>{"Connect to localhost:2561 failed: Connection refused",
                                        "Connection refused"}));
    const auto debug = log.texts(LogLevel::Debug);
    ASSERT_EQ(debug.size(), 2u);
    EXPECT_EQ(debug[0].rfind("%d apples <bad log format: ", 0), 0u) << debug[0];
    // A text without arguments is taken as it is, percent signs included.
    TLogger::debug("c", "100% done");
    EXPECT_TRUE(log.contains(LogLevel::Debug, "c", "100% done"));
}

TEST(Logger, FileSinkAppendsFormattedLines) {
    test_support::TempDir dir;
    const std::string path = dir.file("host.log");
    test_support::WriteFile(path, "earlier line\n");
    rtl::LogCapture level(LogLevel::Debug);
    auto sink = std::make_shared<rtl::FileLogSink>(path);
    TLogger::addSink(sink);
    data::TvarnelDM().started(250);
    TLogger::warn("pbxhost", "Timer not started");
    TLogger::trace("pbxhost", "below the level");
    TLogger::removeSink(sink);
    TLogger::warn("pbxhost", "after removal");

    const std::string text = test_support::ReadFile(path);
    const std::regex expected(
        "earlier line\n"
        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} DEBUG \[TvarnelDM\] Timer started on 250\n)"
        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} WARN  \[pbxhost\] Timer not started\n)");
    EXPECT_TRUE(std::regex_match(text, expected)) << text;
    EXPECT_THROW(rtl::FileLogSink(dir.file("no/such/folder/x.log")), std::runtime_error);
}

// Stands for another framework instance's logger.
class TForeignLog : public rtl::TLTMIfcObject<rtl::IMultilogFactory> {
public:
    LogLevel level() override { return LogLevel::Warn; }
    void write(LogLevel level, const std::string& source, const std::string& text) override {
        lines.push_back(std::string(rtl::LogLevelName(level)) + " " + source + " " + text);
    }
    std::vector<std::string> lines;
};

TEST(Logger, InstalledFactoryTakesRecordsAndLevelUntilRemoved) {
    rtl::LogCapture log;
    rtl::Ref<TForeignLog> foreign(new TForeignLog);
    TLogger::setMultilogFactory(rtl::Ref<rtl::IMultilogFactory>(foreign.get()));
    EXPECT_FALSE(TLogger::isDebugEnabled()); // the foreign level counts
    TLogger::debug("c", "dropped");
    TLogger::warn("c", "routed %d", 1);
    TLogger::setMultilogFactory({});

    TLogger::debug("c", "local again");
    EXPECT_EQ(foreign->lines, std::vector<std::string>{"WARN c routed 1"});
    EXPECT_EQ(log.texts(LogLevel::Debug), std::vector<std::string>{"local again"});
    EXPECT_EQ(foreign->referenceCount(), 1u); // the logger let go of it

    // Installing this instance's own factory is no change at all.
    TLogger::setMultilogFactory(TLogger::ownFactory());
    EXPECT_FALSE(TLogger::multilogFactory());
}

} // namespace
