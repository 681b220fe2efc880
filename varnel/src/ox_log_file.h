// TOxLogFile: a first-in first-out list of one-line text records mirrored in a text
// file (one record per CR LF line, oldest first, nothing else), rewritten after every
// change through an atomic replace, so a crash leaves either the old or the new file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnel {

using TOxLogRecord = std::string;
using TOxLogRecordList = std::vector<TOxLogRecord>; // index 0 is the oldest record

class TOxLogFile {
public:
    static constexpr uint32_t DefaultSizeCap = 1048576;

    // Loads the file when it exists (a missing file is an empty queue); raises
    // platform::Error when it exists but cannot be read.
    explicit TOxLogFile(std::string fileName, uint32_t sizeCap = DefaultSizeCap);
    // Saves once more; a failure is swallowed (the file keeps its last saved content).
    ~TOxLogFile();
    TOxLogFile(const TOxLogFile&) = delete;
    TOxLogFile& operator=(const TOxLogFile&) = delete;

    // The operations that change the queue save it afterwards. When the save fails
    // (platform::Error, e.g. another program holds the file locked) the change stays
    // in memory and reaches the file with the next successful save.
    void add(TOxLogRecord record);
    void remove(size_t index);
    void clear();
    void save();

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
    void applySizeCap();
    void autoSave();

    TOxLogRecordList records_;
    std::string fileName_;
    bool autoSave_ = false;
    uint32_t sizeCap_;
};

// Splits a queue file's text into records: a line ends at CR LF, a lone CR or a lone
// LF; a last line without line end is a record too; an empty line is an empty record.
TOxLogRecordList SplitRecords(const std::string& text);

} // namespace varnel
