// The ticket pass's record of the step it is taking, kept in a small file beside the
// cache ("<cache file>.step"). It is written, synced and renamed into place before
// each step that changes the cache, the rejects file or the spool, so that a pass
// after a crash or a power cut can tell what the interrupted step had done: whether
// the last line written belongs to a ticket that is still queued, and how much of a
// merge had reached the spool.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mod_varnel {

struct CacheStep {
    enum class Kind {
        // A ticket's line goes to the end of `file` (the cache or the rejects file),
        // then the ticket leaves the queue.
        Line,
        // The cache's first `bytes` bytes go to the end of `file` (the spool), then
        // the cache is emptied.
        Merge,
    };
    Kind kind = Kind::Line;
    std::string file;
    uint64_t lengthBefore = 0; // of `file`, before the step
    uint64_t bytes = 0;        // Line: the line's length; Merge: the cache's length
    std::string record;        // Line: the ticket's queue record, key and every field

    bool operator==(const CacheStep&) const = default;
};

// "<cache file>.step"
std::string CacheStepFileName(const std::string& cacheFileName);

// The step recorded in the file, or nothing when there is no file. Raises
// std::runtime_error naming the file when it cannot be read or is not a step record.
std::optional<CacheStep> ReadCacheStep(const std::string& path);
// Replaces the record (written to a temporary file, synced, renamed, folder synced).
// Raises platform::Error.
void WriteCacheStep(const std::string& path, const CacheStep& step);

// The record's text: one "name: value" line per field, readable by an operator.
std::string CacheStepText(const CacheStep& step);
std::optional<CacheStep> ParseCacheStep(const std::string& text);

} // namespace mod_varnel
