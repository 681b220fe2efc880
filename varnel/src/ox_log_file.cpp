#include "ox_log_file.h"

#include "record_text.h"

#include "platform/error.h"
#include "platform/files.h"

#include <cerrno>
#include <stdexcept>

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
    load();
    autoSave_ = true;
}

TOxLogFile::~TOxLogFile() {
    try {
        save();
    } catch (...) {
        // Nothing can report it here; the file holds the last successful save.
    }
}

void TOxLogFile::load() {
    const bool remembered = autoSave_;
    autoSave_ = false;
    records_.clear();
    std::string text;
    try {
        platform::File file =
            platform::File::Open(fileName_, platform::Access::Read, platform::Share::DenyWrite);
        text = file.readAll();
    } catch (const platform::Error& e) {
        if (e.code() != ENOENT)
            throw;
    }
    records_ = SplitRecords(text);
    autoSave_ = remembered;
}

void TOxLogFile::save() {
    std::string text;
    size_t size = 0;
    for (const auto& record : records_)
        size += record.size() + 2;
    text.reserve(size);
    for (const auto& record : records_) {
        text += record;
        text += "\r\n";
    }
    platform::AtomicReplace(fileName_, text);
}

void TOxLogFile::autoSave() {
    if (autoSave_)
        save();
}

void TOxLogFile::add(TOxLogRecord record) {
    records_.push_back(std::move(record));
    applySizeCap();
}

void TOxLogFile::applySizeCap() {
    const bool remembered = autoSave_;
    autoSave_ = false;
    // Keep the newest records whose lines (CR LF included) first reach the cap, or
    // all of them while they stay below it.
    uint64_t sum = 0;
    size_t kept = 0;
    for (auto it = records_.rbegin(); it != records_.rend() && sum < sizeCap_; ++it) {
        sum += it->size() + 2;
        ++kept;
    }
    if (kept < records_.size())
        records_.erase(records_.begin(), records_.begin() + ptrdiff_t(records_.size() - kept));
    autoSave_ = remembered;
    autoSave();
}

void TOxLogFile::remove(size_t index) {
    if (index >= records_.size())
        throw std::out_of_range("No queue record at index " + std::to_string(index));
    records_.erase(records_.begin() + ptrdiff_t(index));
    autoSave();
}

void TOxLogFile::clear() {
    records_.clear();
    autoSave();
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
