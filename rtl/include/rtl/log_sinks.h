// Log sinks: a file (appended, one flushed line per record), the console
// (standard error, one line per record, fit for the systemd journal) and
// memory. LogCapture is the supported way for tests to see exactly which
// records were written.
#pragma once

#include "rtl/logger.h"

#include <mutex>
#include <string>
#include <vector>

namespace rtl {

// Appends lines to a file, creating it (and not its folder) when missing.
// Raises std::runtime_error naming the file when it cannot be opened. The
// records are written as they are (8-bit texts, line breaks and all).
class FileLogSink : public ILogSink {
public:
    explicit FileLogSink(const std::string& path);
    ~FileLogSink() override;
    void write(const LogRecord& record) override;
    const std::string& path() const { return path_; }
    // Opens the file by its name again (after logrotate moved it away). On a
    // failure the old file stays in use and std::runtime_error is raised.
    void reopen();

private:
    std::string path_;
    std::mutex mutex_;
    int fd_ = -1;
};

// Writes to standard error, one line per record: control bytes inside a text
// are shown as "<0A>" (platform::Printable), 8-bit texts are converted from
// the installation's code page to UTF-8. When standard error is the systemd
// journal (JOURNAL_STREAM names it), each line starts with its syslog
// priority ("<3>" error, "<4>" warn, "<7>" debug and trace) and carries no
// time stamp of its own, since the journal keeps one.
class ConsoleLogSink : public ILogSink {
public:
    // `codePage` is an iconv name ("windows-1251", "iso-8859-1"); bytes that
    // do not convert are shown as "<hh>".
    explicit ConsoleLogSink(const std::string& codePage = "windows-1251");
    ~ConsoleLogSink() override;
    ConsoleLogSink(const ConsoleLogSink&) = delete;
    ConsoleLogSink& operator=(const ConsoleLogSink&) = delete;
    void write(const LogRecord& record) override;

    // The line written for `record`, without its line feed.
    std::string line(const LogRecord& record) const;
    bool journal() const { return journal_; }
    // Whether the descriptor is the stream JOURNAL_STREAM ("device:inode") names.
    static bool IsJournalStream(int fd);

private:
    std::string toUtf8(const std::string& text) const;

    void* converter_ = nullptr; // iconv_t, or none when the code page is unknown
    mutable std::mutex mutex_;  // iconv keeps state between calls
    bool journal_ = false;
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
