// Conversions between the link library's texts and typed values: decimal
// integers (strict; with a fallback it is the runtime's rtl::IntOr), date-times read from a text by
// a format of the host's date parsing, and folder names ending in a delimiter.
#pragma once

#include <cstdint>
#include <string>

namespace mod_varnel {

// The decimal integer the whole text spells (optional sign, digits, 32-bit);
// raises rtl::EConvertError "'<text>' is not a valid integer value" otherwise.
int32_t StrToInt(const std::string& text);

// The date-time the text holds where the format's letters stand (yy or yyyy,
// mm, dd, hh, nn, ss). A two-digit year counts from 2000; a four-digit year is
// taken as written. A component that cannot be read counts as 0, and a format
// without date letters ("hh:nn") gives a time of day. Raises rtl::EConvertError
// when the components form no valid date-time.
double parseDateTime(const std::string& text, const std::string& format);
// The date stamp that ends every record of the link library ("yyyy.mm.dd hh:nn");
// 0 when it cannot be read.
double parseDateStamp(const std::string& text);
// parseDateTime, with 0 (30 December 1899, 00:00) for a text that cannot be read.
double parseDateTimeOrZero(const std::string& text, const std::string& format);

// The folder with a trailing '/'; an empty text stays empty.
std::string IncludeTrailingPathDelimiter(const std::string& folder);

} // namespace mod_varnel
