// Reading numbers out of configuration texts: every value of the configuration
// is a text, and every numeric key has a fallback for a text that is no number.
// All plug-ins and their dialogs read them through this one function, so a
// value means the same to the module that uses it and to the dialog that shows it.
#pragma once

#include <string_view>

namespace rtl {

// The decimal integer `text` holds, or `fallback`. Blanks and control bytes
// around the number are allowed, a sign ("+" or "-") may precede it; anything
// else (an empty text, letters, a fraction, a second sign, a number that does
// not fit an int) gives `fallback`.
int IntOr(std::string_view text, int fallback);

} // namespace rtl
