#pragma once

// Start-up of pellora-receiver: the Received folder, the settings, the port, the window.

namespace pellora::receiver {

// Runs the receiver until its window is closed; returns the program's exit status.
int Run();

} // namespace pellora::receiver
