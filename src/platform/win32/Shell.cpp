// The shell on Windows: ShellExecuteA, owned by the window that asks.

#include "platform/support/Shell.h"
#include "platform/win32/Win32Api.h"

#include <climits>

namespace pellora::platform {

namespace {

class Win32Shell : public Shell {
public:
    // ShellExecuteA hands the file over and returns at once, so the answer comes before Execute
    // returns.
    void Execute(quintptr owner, const QString& operation, const QString& file, const QString& parameters,
                 const QString& directory, int showCommand, std::function<void(int result)> done) override {
        done(Run(owner, operation, file, parameters, directory, showCommand));
    }

private:
    static int Run(quintptr owner, const QString& operation, const QString& file, const QString& parameters,
                   const QString& directory, int showCommand) {
        // The shell parents any window it shows (an error, a choice of program) to the owner.
        void* window = reinterpret_cast<void*>(owner);
        const std::intptr_t result =
            win32::ShellExecuteAnsi(window, operation.toStdWString(), file.toStdWString(), parameters.toStdWString(),
                                    directory.toStdWString(), showCommand);
        // The result is a number in a handle's clothing: above 32 is success, whatever its size.
        if (result > INT_MAX)
            return INT_MAX;
        if (result < 0)
            return 0;
        return static_cast<int>(result);
    }
};

} // namespace

std::shared_ptr<Shell> CreateSystemShell() { return std::make_shared<Win32Shell>(); }

} // namespace pellora::platform
