// Log sinks: a file (appended, one flushed line per record), the console
// (standard error) and memory. LogCapture is the supported way for tests to
// see exactly which records were written.
#pragma once

#include "rtl/logger.h"

#include <mutex>
#include <string>
#include <vector>

namespace rtl {

// Appends lines to a file, creating it (and not its folder) when missing.
// Raises std::runtime_error naming the file when it cannot be opened.
class FileLogSink : public ILogSink {
public:
    explicit FileLogSink(const std::string& path);
    ~FileLogSink() override;
    void write(const LogRecord& record) override;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

class ConsoleLogSink : public ILogSink {
public:
    void write(const LogRecord& record) override;
};

// Keeps every record in memory.
class MemoryLogSink : public ILogSink {
public:
    void write(const LogRecord& record) override;
    std::vector<LogRecord> records() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<LogRecord> records_;
};

// For tests: while it lives, every record of every level (trace and up) is
// kept; the earlier level is restored and the sink removed afterwards.
// Other sinks keep receiving records.
class LogCapture {
public:
    explicit LogCapture(LogLevel level = LogLevel::Trace);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogRecord> records() const { return sink_->records(); }
    // The texts of the records at `level` (from `source` when given), in order.
    std::vector<std::string> texts(LogLevel level, const std::string& source = {}) const;
    // Whether a record with exactly this level, source and text was written.
    bool contains(LogLevel level, const std::string& source, const std::string& text) const;
    // Whether any record's text contains `part`.
    bool containsText(const std::string& part) const;
    // "LEVEL [source] text" of every record, one per line, for failure messages.
    std::string dump() const;
    void clear() { sink_->clear(); }

private:
    std::shared_ptr<MemoryLogSink> sink_;
    LogLevel previous_;
};

} // namespace rtl
