// Reading and deleting the oldest record of an event queue by its key.
#pragma once

#include "ox_log_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnel {

struct QueueRecord {
    int32_t key;                     // 1..2147483647
    std::vector<std::string> fields; // the fields after the key, as many as asked for
};

// The oldest record of the queue (nullptr: not opened), or nothing when it is empty.
// Blank records at the head are dropped on the way: they can never be fetched or
// deleted and would block the queue for good.
std::optional<QueueRecord> OldestRecord(TOxLogFile* queue, size_t fieldCount);

// DeleteRecord's result when the record was found but the file could not be
// rewritten: the record stays, in memory and in the file.
inline constexpr int32_t DeleteFailed = -3;

// Removes the oldest record whose key reads as `key` (the key OldestRecord gave);
// 0 when one was removed, -1 when none has it, DeleteFailed when the file could not
// be rewritten.
int32_t DeleteRecord(TOxLogFile* queue, int32_t key);

} // namespace varnel
