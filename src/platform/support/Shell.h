#pragma once

// The shell service: asking the desktop to open a file or folder. linux/ and win32/ give the real
// one (CreateSystemShell); tests put their own in its place through services().shell.

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace pellora::platform {

class Shell {
public:
    virtual ~Shell() = default;
    // Asks the desktop to carry out `operation` ("open") on `file`, without waiting for it.
    // `done` receives the result once it is known: a number greater than 32 on success and 32
    // or less on failure. It runs at most once, either before Execute returns or later from the
    // event loop (through the guard of event handlers), possibly after `owner` is gone; it does
    // not run when the program ends first. `owner` is the system's handle of the window that
    // owns whatever the shell shows (a window's winId()), 0 for none.
    virtual void Execute(quintptr owner, const QString& operation, const QString& file, const QString& parameters,
                         const QString& directory, int showCommand, std::function<void(int result)> done) = 0;
};

// The program's shell: services().shell, made with the real one at first use.
Shell& shell();
// The real shell of this platform (linux/Shell.cpp, win32/Shell.cpp).
std::shared_ptr<Shell> CreateSystemShell();

} // namespace pellora::platform
