#include "rtl/log_sinks.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace rtl {

namespace {
void WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a full disk loses log lines, never the program
        done += size_t(n);
    }
}
} // namespace

FileLogSink::FileLogSink(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
    if (fd_ < 0)
        throw std::runtime_error("Cannot open log file \"" + path + "\": " + std::strerror(errno));
}

FileLogSink::~FileLogSink() {
    if (fd_ >= 0)
        ::close(fd_);
}

void FileLogSink::write(const LogRecord& record) {
    // One write per line with O_APPEND: lines of several writers never interleave.
    WriteAll(fd_, FormatLogLine(record) + "\n");
}

void ConsoleLogSink::write(const LogRecord& record) {
    WriteAll(STDERR_FILENO, FormatLogLine(record) + "\n");
}

void MemoryLogSink::write(const LogRecord& record) {
    std::lock_guard lock(mutex_);
    records_.push_back(record);
}

std::vector<LogRecord> MemoryLogSink::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

void MemoryLogSink::clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
}

LogCapture::LogCapture(LogLevel level)
    : sink_(std::make_shared<MemoryLogSink>()), previous_(TLogger::level()) {
    TLogger::setLevel(level);
    TLogger::addSink(sink_);
}

LogCapture::~LogCapture() {
    TLogger::removeSink(sink_);
    TLogger::setLevel(previous_);
}

std::vector<std::string> LogCapture::texts(LogLevel level, const std::string& source) const {
    std::vector<std::string> result;
    for (const auto& r : records()) {
        if (r.level == level && (source.empty() || r.source == source))
            result.push_back(r.text);
    }
    return result;
}

bool LogCapture::contains(LogLevel level, const std::string& source,
                          const std::string& text) const {
    for (const auto& r : records()) {
        if (r.level == level && r.source == source && r.text == text)
            return true;
    }
    return false;
}

bool LogCapture::containsText(const std::string& part) const {
    for (const auto& r : records()) {
        if (r.text.find(part) != std::string::npos)
            return true;
    }
    return false;
}

std::string LogCapture::dump() const {
    std::string out;
    for (const auto& r : records())
        out += std::string(LogLevelName(r.level)) + " [" + r.source + "] " + r.text + "\n";
    return out;
}

} // namespace rtl
