// Texts of '|'-terminated fields (answer slots and queue records) and the cutting of
// fixed-width fields out of frames.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varnel {

// Field n (from 1) of a text whose fields each end with "|". Empty when the text has
// fewer than n separators (a last field without "|" is never returned). A result
// longer than one character loses one trailing and then one leading apostrophe.
std::string GetField(int n, std::string_view text);

// What a record says of its event: the record without its key (the first field) and
// its date stamp (the last), both of which tell only when it was stored. Empty for a
// text of fewer than two fields.
std::string_view EventFields(std::string_view record);

// The text without the bytes of value 0x20 or less at either end.
std::string_view TrimBlanks(std::string_view text);

// The text with every CR and LF turned into a blank. A queue file holds one
// record per line, so a line end inside a record would split it on the next load.
std::string OneLine(std::string_view text);

// The trimmed bytes at 1-based positions [first, first + width) of a frame (STX is
// position 1), on one line (see OneLine); positions past the end give nothing.
std::string FrameField(std::string_view frame, size_t first, size_t width);

// A decimal integer with an optional sign, or 0 when the text is not one or does
// not fit into 32 bits (the line or room number of a notification).
int32_t DecimalOrZero(std::string_view text);

} // namespace varnel
