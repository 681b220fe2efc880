// The process-wide request to stop. Once raised, every event-loop wait returns
// at once and serial reads and writes end, so a program can stop within a
// moment even while a command waits for its peer. Any thread may raise it.
#pragma once

namespace platform {

// Raises the request: wakes the main thread's event dispatcher and makes
// StopRequestFd() readable. Thread-safe; raising it again changes nothing.
void RequestStop();

// Whether the request has been raised.
bool StopRequested();

// A descriptor that becomes readable when the request is raised, for code that
// blocks in poll() outside the event loop. Owned by the platform library.
int StopRequestFd();

// Takes the request back, for a program that goes on working after a stop it
// asked for (a test, or a host that starts its plug-ins again).
void ClearStopRequest();

} // namespace platform
