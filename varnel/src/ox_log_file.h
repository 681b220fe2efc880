// TOxLogFile: a first-in first-out list of one-line text records mirrored in a text
// file (one record per CR LF line, oldest first, nothing else). Every change rewrites
// the file through an atomic replace and takes effect in memory only once the file
// holds it, so memory and file agree after every operation, whatever fails.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace varnel {

using TOxLogRecord = std::string;
using TOxLogRecordList = std::deque<TOxLogRecord>; // index 0 is the oldest record

class TOxLogFile {
public:
    static constexpr uint32_t DefaultSizeCap = 1048576;
    // New queue files: the owner reads and writes, the file's group may read (a
    // monitoring program can be given that group), others get nothing.
    static constexpr mode_t FileMode = 0640;

    // Removes temporary files an interrupted save left beside the file, loads the file
    // when it exists and closes it to others; a missing file is created empty. Raises
    // platform::Error when the file exists but cannot be read, or cannot be created.
    explicit TOxLogFile(std::string fileName, uint32_t sizeCap = DefaultSizeCap);
    TOxLogFile(const TOxLogFile&) = delete;
    TOxLogFile& operator=(const TOxLogFile&) = delete;

    // The operations that change the queue rewrite the file first. When that fails
    // (platform::Error: a full disk, a folder that cannot be written, another program
    // holding the file locked) the error is raised and the queue stays as it was.
    void add(TOxLogRecord record);
    void remove(size_t index);
    void clear();

    size_t count() const { return records_.size(); }
    const TOxLogRecord& item(size_t index) const { return records_.at(index); }
    const TOxLogRecordList& records() const { return records_; }
    // The first record equal to the text, or -1.
    int64_t indexOf(const std::string& record) const;
    // The first record whose field 1 equals the key text, or -1.
    int64_t indexOfKey(const std::string& key) const;
    const std::string& fileName() const { return fileName_; }
    uint32_t sizeCap() const { return sizeCap_; }

private:
    void load();
    // The file's text as it stands (what the last save wrote).
    std::string_view text() const;
    void compact();
    // The one place where the file is written: the pieces one after the other.
    void write(std::initializer_list<std::string_view> pieces) const;

    TOxLogRecordList records_;
    // The file's text from textStart_ on, kept so that a change writes it out without
    // building it again: a queue near its cap is about 1 MiB, rewritten at every change.
    std::string text_;
    size_t textStart_ = 0;
    std::string fileName_;
    uint32_t sizeCap_;
    mode_t fileMode_ = FileMode;
};

// Splits a queue file's text into records: a line ends at CR LF, a lone CR or a lone
// LF; a last line without line end is a record too; an empty line is an empty record.
TOxLogRecordList SplitRecords(const std::string& text);

} // namespace varnel
