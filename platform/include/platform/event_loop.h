// Waiting inside the main thread's event loop. Waits never spin: they block in
// the event dispatcher and wake for timer ticks, socket events, posted messages
// and their deadline. They may be nested inside any event handler.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// One pass over the pending events of the calling thread (does not block).
void PumpMessages();

// Dispatches events until `predicate` holds or `timeoutMs` milliseconds of
// TickCount() have passed, or at once once a stop is requested
// (stop_request.h). Returns the predicate's last value.
bool WaitUntil(const std::function<bool()>& predicate, uint32_t timeoutMs);

// Dispatches events for `ms` milliseconds (a wait for a condition that never comes).
void Sleep(uint32_t ms);

} // namespace platform
