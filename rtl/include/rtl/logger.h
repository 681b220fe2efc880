// TLogger: the process-wide log of the host and its plug-ins. Class operations
// trace/debug/warn/error take a source (an object, shown by its class name, or a
// category text), a printf-style format and its arguments. Records go to the
// installed sinks (file, console, memory for tests) or, when another framework
// instance's factory is installed, to that factory.
#pragma once

#include "rtl/ifc_object.h"
#include "rtl/interface.h"

#include <fmt/printf.h>

#include <chrono>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

namespace rtl {

enum class LogLevel { Trace = 0, Debug = 1, Warn = 2, Error = 3, Off = 4 };

// "TRACE", "DEBUG", "WARN", "ERROR", "OFF".
const char* LogLevelName(LogLevel level);
// Reads "trace", "debug", "warn", "error" or "off" in any letter case; false for other texts.
bool ParseLogLevel(std::string_view text, LogLevel& level);

struct LogRecord {
    std::chrono::system_clock::time_point time;
    LogLevel level = LogLevel::Debug;
    std::string source; // class name of the source object, or the category text
    std::string text;   // the formatted message
};

// One log line: "2024-05-01 14:03:07.042 DEBUG [TvarnelDM] Timer started on 5000"
// (local time with milliseconds, level padded to five characters).
std::string FormatLogLine(const LogRecord& record);

// Where records end up. write() is called under the logger's lock and must not log.
class ILogSink {
public:
    virtual ~ILogSink() = default;
    virtual void write(const LogRecord& record) = 0;
};

// A framework instance's way into its logger, handed to plug-ins of another
// instance (THostModule::multilogFactory) so that their records reach the host's sinks.
class IMultilogFactory : public IImplemented {
public:
    static constexpr Guid iid = MakeGuid("{5D0E3B7A-1C42-4E8F-8A61-2F9B7C4D1E03}");
    using Base = IImplemented;

    virtual LogLevel level() = 0;
    virtual void write(LogLevel level, const std::string& source, const std::string& text) = 0;

protected:
    ~IMultilogFactory() = default;
};

namespace detail {
template <typename T> std::string LogSourceName(const T& source) {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_convertible_v<const U&, std::string_view>) {
        return std::string(std::string_view(source));
    } else if constexpr (std::is_null_pointer_v<U>) {
        return {};
    } else if constexpr (std::is_pointer_v<U>) {
        using Pointee = std::remove_cv_t<std::remove_pointer_t<U>>;
        if (!source)
            return {};
        if constexpr (std::is_polymorphic_v<Pointee>)
            return ClassName(typeid(*source));
        else
            return ClassName(typeid(Pointee));
    } else if constexpr (std::is_polymorphic_v<U>) {
        return ClassName(typeid(source));
    } else {
        return ClassName(typeid(U));
    }
}

// Formats with fmt::sprintf; a format that does not fit its arguments yields the
// format text with the reason instead of an exception.
template <typename... Args>
std::string FormatLogText(std::string_view format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return std::string(format);
    } else {
        try {
            return fmt::sprintf(format, args...);
        } catch (const std::exception& e) {
            return std::string(format) + " <bad log format: " + e.what() + ">";
        }
    }
}
} // namespace detail

class TLogger {
public:
    // Records below this level are dropped (default Debug). With a factory of
    // another instance installed, that factory's level counts.
    static void setLevel(LogLevel level);
    static LogLevel level();
    static bool isEnabled(LogLevel level);
    static bool isTraceEnabled() { return isEnabled(LogLevel::Trace); }
    static bool isDebugEnabled() { return isEnabled(LogLevel::Debug); }

    // The source is an object pointer or reference (its class name is shown) or a
    // category text; `format` uses printf placeholders (%s, %d, %20.20s, ...).
    template <typename Source, typename... Args>
    static void trace(const Source& source, std::string_view format, const Args&... args) {
        log(LogLevel::Trace, source, format, args...);
    }
    template <typename Source, typename... Args>
    static void debug(const Source& source, std::string_view format, const Args&... args) {
        log(LogLevel::Debug, source, format, args...);
    }
    template <typename Source, typename... Args>
    static void warn(const Source& source, std::string_view format, const Args&... args) {
        log(LogLevel::Warn, source, format, args...);
    }
    template <typename Source, typename... Args>
    static void error(const Source& source, std::string_view format, const Args&... args) {
        log(LogLevel::Error, source, format, args...);
    }
    // With an exception: the line is the formatted text, ": " and the exception's
    // message ("Connect failed: Connection refused"); an empty format gives the
    // message alone.
    template <typename Source, typename... Args>
    static void error(const Source& source, const std::exception& e, std::string_view format,
                      const Args&... args) {
        if (!isEnabled(LogLevel::Error))
            return;
        std::string text = detail::FormatLogText(format, args...);
        text += text.empty() ? e.what() : std::string(": ") + e.what();
        write(LogLevel::Error, detail::LogSourceName(source), text);
    }

    template <typename Source, typename... Args>
    static void log(LogLevel level, const Source& source, std::string_view format,
                    const Args&... args) {
        if (!isEnabled(level))
            return;
        write(level, detail::LogSourceName(source), detail::FormatLogText(format, args...));
    }

    // Writes one record as given (no formatting).
    static void write(LogLevel level, const std::string& source, const std::string& text);

    static void addSink(std::shared_ptr<ILogSink> sink);
    static void removeSink(const std::shared_ptr<ILogSink>& sink);
    static void removeAllSinks();

    // Routes every record to another framework instance's factory, or back to
    // this instance's own sinks when given none.
    static void setMultilogFactory(Ref<IMultilogFactory> factory);
    static Ref<IMultilogFactory> multilogFactory();
    // This instance's own factory (what its host module hands out).
    static Ref<IMultilogFactory> ownFactory();
};

} // namespace rtl
