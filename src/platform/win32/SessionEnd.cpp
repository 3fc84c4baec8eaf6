// The system's requests to stop, on Windows: the end of the session comes as WM_QUERYENDSESSION
// and WM_ENDSESSION, which Qt turns into its request to quit; that closes the windows (see
// window/SessionEnd.cpp). There is nothing more to watch.

#include "platform/support/SessionEnd.h"

namespace pellora::platform {

void WatchStopRequests(std::function<void()>) {}

} // namespace pellora::platform
