#include "ox_log_file.h"

#include "record_text.h"

#include "platform/error.h"
#include "platform/files.h"

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <sys/stat.h>

namespace varnel {

TOxLogRecordList SplitRecords(const std::string& text) {
    TOxLogRecordList records;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            records.emplace_back(text, start, i - start);
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size())
        records.emplace_back(text, start, text.size() - start);
    return records;
}

TOxLogFile::TOxLogFile(std::string fileName, uint32_t sizeCap)
    : fileName_(std::move(fileName)), sizeCap_(sizeCap) {
    // A crash between writing a temporary file and renaming it leaves the temporary
    // file; the queue file itself is whole (the old or the new content).
    platform::RemoveStaleTemporaries(fileName_);
    load();
}

void TOxLogFile::load() {
    records_.clear();
    std::string text;
    try {
        platform::File file =
            platform::File::Open(fileName_, platform::Access::Read, platform::Share::DenyWrite);
        text = file.readAll();
        // Records hold guest names and call tickets: a file that others may read (an
        // earlier version wrote 0644) is closed to them now, not only at the next change.
        struct stat st {};
        if (::fstat(file.fd(), &st) == 0) {
            fileMode_ = (st.st_mode & FileMode) | S_IRUSR | S_IWUSR;
            if ((st.st_mode & 07777) != fileMode_)
                (void)::fchmod(file.fd(), fileMode_); // the next save sets it anyway
        }
    } catch (const platform::Error& e) {
        if (e.code() != ENOENT)
            throw;
        write(std::string());
    }
    records_ = SplitRecords(text);
}

std::string TOxLogFile::textOf(size_t first, size_t skip) const {
    size_t size = 0;
    for (size_t i = first; i < records_.size(); ++i)
        size += i == skip ? 0 : records_[i].size() + 2;
    std::string text;
    text.reserve(size);
    for (size_t i = first; i < records_.size(); ++i) {
        if (i == skip)
            continue;
        text += records_[i];
        text += "\r\n";
    }
    return text;
}

void TOxLogFile::write(const std::string& text) const {
    platform::AtomicReplace(fileName_, text, fileMode_);
}

size_t TOxLogFile::droppedByCap() const {
    // Keep the newest records whose lines (CR LF included) first reach the cap, or all
    // of them while they stay below it.
    uint64_t sum = 0;
    size_t kept = 0;
    for (auto it = records_.rbegin(); it != records_.rend() && sum < sizeCap_; ++it) {
        sum += it->size() + 2;
        ++kept;
    }
    return records_.size() - kept;
}

void TOxLogFile::add(TOxLogRecord record) {
    records_.push_back(std::move(record));
    const size_t dropped = droppedByCap();
    try {
        write(textOf(dropped, SIZE_MAX));
    } catch (...) {
        records_.pop_back();
        throw;
    }
    records_.erase(records_.begin(), records_.begin() + ptrdiff_t(dropped));
}

void TOxLogFile::remove(size_t index) {
    if (index >= records_.size())
        throw std::out_of_range("No queue record at index " + std::to_string(index));
    write(textOf(0, index));
    records_.erase(records_.begin() + ptrdiff_t(index));
}

void TOxLogFile::clear() {
    write(std::string());
    records_.clear();
}

int64_t TOxLogFile::indexOf(const std::string& record) const {
    for (size_t i = 0; i < records_.size(); ++i)
        if (records_[i] == record)
            return int64_t(i);
    return -1;
}

int64_t TOxLogFile::indexOfKey(const std::string& key) const {
    for (size_t i = 0; i < records_.size(); ++i)
        if (GetField(1, records_[i]) == key)
            return int64_t(i);
    return -1;
}

} // namespace varnel
