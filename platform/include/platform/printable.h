// Bytes made readable for logs and transcripts: control bytes below 0x20 are
// written as "<hh>" in upper-case hexadecimal, so "AT\r" reads "AT<0D>".
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::string Printable(std::string_view bytes);

} // namespace platform
