// The support library's services that differ on Windows, over the plain calls of Win32Api.

#include "platform/support/Support.h"
#include "platform/runtime/Error.h"
#include "platform/win32/Win32Api.h"

namespace pellora {

void ksRegisterAppPath() {
    // Lets the shell start the program by the name of its .exe alone (the Run box, "start
    // pellora"). Registered for the current user, so no administrator rights are needed; a
    // registry that cannot be written leaves the program as it was, with nothing to report.
    try {
        win32::RegisterAppPath(win32::ModulePath());
    } catch (const win32::Failure&) {
    }
}

bool ksIsInIDE() { return false; }

QString ksGetSpecialFolder(int folder) {
    if (folder != SpecialFolder::AppData)
        throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("Unknown special folder %1").arg(folder));
    try {
        return QString::fromStdWString(win32::AppDataFolder());
    } catch (const win32::Failure& failure) {
        throw Error(ErrorNumber::PathNotFound, QStringLiteral("The application-data folder is unknown: %1")
                                                   .arg(QString::fromStdWString(win32::ErrorText(failure.code()))));
    }
}

} // namespace pellora
