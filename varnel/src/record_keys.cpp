#include "record_keys.h"

#include <algorithm>
#include <cctype>

namespace varnel {

int32_t ReduceKey(uint64_t value) {
    const auto reduced = int32_t(value % uint64_t(MaxKey));
    return reduced == 0 ? MaxKey : reduced;
}

int32_t KeyOfText(std::string_view keyField) {
    const bool digits =
        !keyField.empty() && std::all_of(keyField.begin(), keyField.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        });
    if (digits) {
        uint64_t value = 0;
        for (const char c : keyField)
            value = (value * 10 + uint64_t(c - '0')) % uint64_t(MaxKey);
        return ReduceKey(value);
    }
    // FNV-1a: any stable spread of the bytes will do, the text is not a number anyway.
    uint32_t hash = 2166136261u;
    for (const char c : keyField) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return ReduceKey(hash);
}

} // namespace varnel
