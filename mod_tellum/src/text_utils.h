// Small text helpers of the modem adapter: trimming, ASCII case, integers with a
// fallback (the runtime's reader), and the printable form of bytes for the log.
#pragma once

#include "platform/printable.h"
#include "rtl/numbers.h"

#include <string>
#include <string_view>

namespace tellum {

// Without leading and trailing bytes up to and including the space (blanks and
// control bytes).
std::string Trim(std::string_view text);
std::string LowerAscii(std::string text);
std::string UpperAscii(std::string text);

// Integers with a fallback: the runtime's one reader.
using rtl::IntOr;

// Bytes of 0x20 and above as they are, every lower byte as "<hh>": "AT\r" gives "AT<0D>".
using platform::Printable;

} // namespace tellum
