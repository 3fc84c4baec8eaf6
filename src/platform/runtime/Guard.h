#pragma once

#include <functional>

namespace pellora {

class Error;

namespace platform {

// Every event handler of the program runs through this guard, so that no exception ever
// travels through Qt's event machinery. An error that reaches it is reported (its number and
// description, under the application's title) and the program ends at once: nothing more of
// the program runs, so the main window is not unloaded and nothing is stored in that run.
void Guarded(const std::function<void()>& handler) noexcept;

// The top-level error report; used by the guard and by the program's entry.
void ReportFatalError(const Error& error) noexcept;

} // namespace platform
} // namespace pellora
