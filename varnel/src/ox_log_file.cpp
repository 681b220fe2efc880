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
    std::string fileText;
    try {
        platform::File file =
            platform::File::Open(fileName_, platform::Access::Read, platform::Share::DenyWrite);
        fileText = file.readAll();
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
        write({});
    }
    records_ = SplitRecords(fileText);
    // The text the next save writes: every record with CR LF, whatever line ends the
    // file had.
    text_.clear();
    textStart_ = 0;
    for (const auto& record : records_) {
        text_ += record;
        text_ += "\r\n";
    }
}

std::string_view TOxLogFile::text() const {
    return std::string_view(text_).substr(textStart_);
}

void TOxLogFile::write(std::initializer_list<std::string_view> pieces) const {
    platform::AtomicReplace(
        fileName_, std::span<const std::string_view>(pieces.begin(), pieces.size()), fileMode_);
}

void TOxLogFile::add(TOxLogRecord record) {
    constexpr std::string_view LineEnd = "\r\n";
    // Keep the newest records whose lines (CR LF included) first reach the cap, or all
    // of them while they stay below it: an old record goes while the lines newer than
    // it reach the cap on their own.
    const uint64_t total = text().size() + record.size() + LineEnd.size();
    size_t dropped = 0;
    uint64_t droppedBytes = 0;
    while (dropped < records_.size()) {
        const uint64_t line = records_[dropped].size() + LineEnd.size();
        if (total - droppedBytes - line < sizeCap_)
            break;
        droppedBytes += line;
        ++dropped;
    }
    write({text().substr(size_t(droppedBytes)), record, LineEnd});
    textStart_ += size_t(droppedBytes);
    records_.erase(records_.begin(), records_.begin() + ptrdiff_t(dropped));
    text_ += record;
    text_ += LineEnd;
    records_.push_back(std::move(record));
    compact();
}

void TOxLogFile::compact() {
    // The text before textStart_ is of records gone; drop it once it is most of it.
    if (textStart_ > text_.size() / 2) {
        text_.erase(0, textStart_);
        textStart_ = 0;
    }
}

void TOxLogFile::remove(size_t index) {
    if (index >= records_.size())
        throw std::out_of_range("No queue record at index " + std::to_string(index));
    size_t offset = 0;
    for (size_t i = 0; i < index; ++i)
        offset += records_[i].size() + 2;
    const size_t length = records_[index].size() + 2;
    const std::string_view all = text();
    write({all.substr(0, offset), all.substr(offset + length)});
    if (index == 0)
        textStart_ += length;
    else
        text_.erase(textStart_ + offset, length);
    records_.erase(records_.begin() + ptrdiff_t(index));
    compact();
}

void TOxLogFile::clear() {
    write({});
    records_.clear();
    text_.clear();
    textStart_ = 0;
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
