#pragma once

// The end of the program with the desktop session, or when the system asks it to stop.

namespace pellora::platform {

// From this call on, the program ends the way it ends when the desktop session does, whenever
// the system asks it to stop (SIGTERM and SIGHUP on Linux): open menus and modal windows close
// (a message box as if by its Cancel or only button), then the main window closes the ordinary
// way, at once or, while one of its handlers still runs, as soon as that handler has returned.
// So it stores what it stores when the user closes it. From the request on, no message box is
// shown: what one would say (a save that fails as the window closes) goes to the standard error,
// answered as a box closed by the request is. Called once, at start-up; a second call changes
// nothing. Throws Error when the requests cannot be watched.
void EndWithTheSession();

// Closes every window: the open menus first, then the modal windows, innermost first, then the
// others. A window that waits for a handler to return stays open until then.
void CloseAllWindows();

} // namespace pellora::platform
