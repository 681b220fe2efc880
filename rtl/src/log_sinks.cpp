#include "rtl/log_sinks.h"

#include "platform/printable.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <stdexcept>
#include <sys/stat.h>
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

namespace {
int OpenLogFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
    if (fd < 0)
        throw std::runtime_error("Cannot open log file \"" + path + "\": " + std::strerror(errno));
    return fd;
}

// Syslog priorities of the levels.
const char* Priority(LogLevel level) {
    switch (level) {
    case LogLevel::Error:
        return "<3>";
    case LogLevel::Warn:
        return "<4>";
    default:
        return "<7>";
    }
}
} // namespace

FileLogSink::FileLogSink(const std::string& path) : path_(path), fd_(OpenLogFile(path)) {}

FileLogSink::~FileLogSink() {
    if (fd_ >= 0)
        ::close(fd_);
}

void FileLogSink::write(const LogRecord& record) {
    // One write per line with O_APPEND: lines of several writers never interleave.
    std::lock_guard lock(mutex_);
    WriteAll(fd_, FormatLogLine(record) + "\n");
}

void FileLogSink::reopen() {
    const int fd = OpenLogFile(path_);
    std::lock_guard lock(mutex_);
    ::close(fd_);
    fd_ = fd;
}

ConsoleLogSink::ConsoleLogSink(const std::string& codePage)
    : journal_(IsJournalStream(STDERR_FILENO)) {
    // The dialogs' names for the code pages are iconv's, but for "latin-1".
    std::string name;
    for (const char c : codePage)
        name += char(std::tolower(static_cast<unsigned char>(c)));
    if (name == "latin-1")
        name = "latin1";
    const iconv_t cd = ::iconv_open("UTF-8", name.c_str());
    if (cd != iconv_t(-1))
        converter_ = cd;
}

ConsoleLogSink::~ConsoleLogSink() {
    if (converter_)
        ::iconv_close(iconv_t(converter_));
}

bool ConsoleLogSink::IsJournalStream(int fd) {
    const char* value = std::getenv("JOURNAL_STREAM");
    if (!value)
        return false;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    if (std::sscanf(value, "%llu:%llu", &device, &inode) != 2)
        return false;
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

std::string ConsoleLogSink::toUtf8(const std::string& text) const {
    std::string out;
    out.reserve(text.size());
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        // One byte at a time: an 8-bit code page has no sequences, and a byte
        // without a character cannot take its neighbours with it.
        char in = char(c);
        char buffer[8];
        char* inPtr = &in;
        size_t inLeft = 1;
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        if (converter_ &&
            ::iconv(iconv_t(converter_), &inPtr, &inLeft, &outPtr, &outLeft) != size_t(-1)) {
            out.append(buffer, size_t(outPtr - buffer));
        } else {
            if (converter_)
                ::iconv(iconv_t(converter_), nullptr, nullptr, nullptr, nullptr);
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", c);
            out += hex;
        }
    }
    return out;
}

std::string ConsoleLogSink::line(const LogRecord& record) const {
    // Control bytes first: the "<hh>" they become is plain ASCII.
    LogRecord shown = record;
    shown.text = toUtf8(platform::Printable(record.text));
    shown.source = toUtf8(platform::Printable(record.source));
    if (!journal_)
        return FormatLogLine(shown);
    return std::string(Priority(record.level)) + LogLevelName(record.level) + " [" + shown.source +
           "] " + shown.text;
}

void ConsoleLogSink::write(const LogRecord& record) {
    WriteAll(STDERR_FILENO, line(record) + "\n");
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
