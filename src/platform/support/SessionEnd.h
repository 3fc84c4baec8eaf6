#pragma once

// The system's own requests to stop the program; the window side ends the program with them
// (window/SessionEnd.h).

#include <functional>

namespace pellora::platform {

// Answers each of the system's requests to stop with `stop`, run on the window thread through
// the guard of event handlers. On Windows the end of the session reaches Qt as a window message,
// which asks the program to quit as the desktop's session manager does on Linux: there is
// nothing more to watch. Throws Error when the requests cannot be watched.
void WatchStopRequests(std::function<void()> stop);

} // namespace pellora::platform
