#include "rtl/logger.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <mutex>
#include <vector>

namespace rtl {

namespace {

// The logger's state: the one global service of this library besides the
// configuration the host registers in its context.
struct LoggerState {
    std::mutex mutex;
    LogLevel level = LogLevel::Debug;
    std::vector<std::shared_ptr<ILogSink>> sinks;
    Ref<IMultilogFactory> installed;
};

LoggerState& State() {
    static LoggerState* state = new LoggerState; // never destroyed: logging may happen at exit
    return *state;
}

void WriteToSinks(LogLevel level, const std::string& source, const std::string& text) {
    LoggerState& s = State();
    const LogRecord record{std::chrono::system_clock::now(), level, source, text};
    std::lock_guard lock(s.mutex);
    if (level < s.level)
        return;
    for (const auto& sink : s.sinks) {
        try {
            sink->write(record);
        } catch (...) {
            // A failing sink must not take the caller down; the other sinks still get the record.
        }
    }
}

// The factory this instance hands to plug-ins of other instances: it writes
// straight into this instance's sinks.
class TOwnLogFactory : public TLTMIfcObject<IMultilogFactory> {
public:
    LogLevel level() override {
        std::lock_guard lock(State().mutex);
        return State().level;
    }
    void write(LogLevel level, const std::string& source, const std::string& text) override {
        WriteToSinks(level, source, text);
    }
};

} // namespace

const char* LogLevelName(LogLevel level) {
    switch (level) {
    case LogLevel::Trace:
        return "TRACE";
    case LogLevel::Debug:
        return "DEBUG";
    case LogLevel::Warn:
        return "WARN";
    case LogLevel::Error:
        return "ERROR";
    case LogLevel::Off:
        break;
    }
    return "OFF";
}

bool ParseLogLevel(std::string_view text, LogLevel& level) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    static const std::pair<const char*, LogLevel> names[] = {{"trace", LogLevel::Trace},
                                                             {"debug", LogLevel::Debug},
                                                             {"warn", LogLevel::Warn},
                                                             {"error", LogLevel::Error},
                                                             {"off", LogLevel::Off}};
    for (const auto& [name, value] : names) {
        if (lower == name) {
            level = value;
            return true;
        }
    }
    return false;
}

std::string FormatLogLine(const LogRecord& record) {
    const auto since = record.time.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(since - seconds);
    const std::time_t t = std::time_t(seconds.count());
    std::tm local{};
    localtime_r(&t, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    return fmt::format("{}.{:03d} {:<5} [{}] {}", stamp, int(millis.count()),
                       LogLevelName(record.level), record.source, record.text);
}

void TLogger::setLevel(LogLevel level) {
    std::lock_guard lock(State().mutex);
    State().level = level;
}

LogLevel TLogger::level() {
    Ref<IMultilogFactory> installed = multilogFactory();
    if (installed)
        return installed->level();
    std::lock_guard lock(State().mutex);
    return State().level;
}

bool TLogger::isEnabled(LogLevel level) {
    return level != LogLevel::Off && level >= TLogger::level();
}

void TLogger::write(LogLevel level, const std::string& source, const std::string& text) {
    if (Ref<IMultilogFactory> installed = multilogFactory()) {
        try {
            installed->write(level, source, text);
        } catch (...) {
        }
        return;
    }
    WriteToSinks(level, source, text);
}

void TLogger::addSink(std::shared_ptr<ILogSink> sink) {
    if (!sink)
        return;
    std::lock_guard lock(State().mutex);
    State().sinks.push_back(std::move(sink));
}

void TLogger::removeSink(const std::shared_ptr<ILogSink>& sink) {
    std::lock_guard lock(State().mutex);
    auto& sinks = State().sinks;
    sinks.erase(std::remove(sinks.begin(), sinks.end(), sink), sinks.end());
}

void TLogger::removeAllSinks() {
    std::lock_guard lock(State().mutex);
    State().sinks.clear();
}

void TLogger::setMultilogFactory(Ref<IMultilogFactory> factory) {
    // This instance's own factory installed here would only loop back: treat it as none.
    if (factory && SameObject(factory.get(), ownFactory().get()))
        factory.reset();
    Ref<IMultilogFactory> old;
    {
        std::lock_guard lock(State().mutex);
        old = std::exchange(State().installed, std::move(factory));
    }
    // `old` is released outside the lock: its destructor may belong to another library.
}

Ref<IMultilogFactory> TLogger::multilogFactory() {
    std::lock_guard lock(State().mutex);
    return State().installed;
}

Ref<IMultilogFactory> TLogger::ownFactory() {
    static IMultilogFactory* own = [] {
        auto* factory = new TOwnLogFactory;
        factory->addRef(); // kept for the process's life
        return factory;
    }();
    return Ref<IMultilogFactory>(own);
}

} // namespace rtl
