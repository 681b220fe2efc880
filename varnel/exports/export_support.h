// What every exported function shares: the library's LinkContext, the conversion of
// C in-texts, out-texts and flags, and the rule that no exception leaves an export.
#pragma once

#include "link_context.h"

#include <cstdint>
#include <string>

namespace varnel {

// The LinkContext created when the library was loaded (nullptr if that failed).
LinkContext* TheLink();

// The timings the library's LinkContext is created with. The shipped library has the
// protocol's; a test build of the library links a definition of its own.
LinkTimings LibraryTimings();

inline std::string InText(const char* text) {
    return text ? std::string(text) : std::string();
}

// Only the low byte of a flag counts.
inline bool Flag(int32_t value) {
    return (value & 0xFF) != 0;
}

// Frees the caller's old text and stores a malloc'd copy; a NULL pointer is skipped.
void SetOutText(char** out, const std::string& text);

// Runs an export's body against the LinkContext; an exception (or a library that
// failed to load) gives `errorResult` and its text in Message when there is one.
template <typename Body> int32_t Guarded(char** message, int32_t errorResult, Body&& body) {
    try {
        LinkContext* link = TheLink();
        if (!link) {
            SetOutText(message, "System error");
            return errorResult;
        }
        return body(*link);
    } catch (const std::exception& e) {
        SetOutText(message, e.what());
    } catch (...) {
        SetOutText(message, "System error");
    }
    return errorResult;
}

} // namespace varnel
