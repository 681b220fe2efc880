// Record keys of the event queues. A key must read as a positive signed 32-bit
// number, because the Get functions return it as such and -1/0 mean "no record".
// The tick count at decoding is therefore reduced into 1..2147483647, and a stored
// key outside that range or not a number (older or hand-edited files) is reduced the
// same way, so every record can be fetched and deleted by the key Get returned.
#pragma once

#include <cstdint>
#include <string_view>

namespace varnel {

inline constexpr int32_t MaxKey = 2147483647;

// value mod 2147483647, where 0 becomes 2147483647: keys 1..2147483647 stay as they are.
int32_t ReduceKey(uint64_t value);

// The key of a record's key field: a decimal number (of any length) reduced as above;
// any other text (empty, signed, letters) reduced from a hash of its bytes.
int32_t KeyOfText(std::string_view keyField);

} // namespace varnel
