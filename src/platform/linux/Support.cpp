// The support library's services that differ on Linux.

#include "platform/support/Support.h"
#include "platform/linux/XdgFolders.h"
#include "platform/runtime/Error.h"

namespace pellora {

void ksRegisterAppPath() {
    // Linux finds programs through PATH and desktop entries; nothing to register.
}

bool ksIsInIDE() { return false; }

QString ksGetSpecialFolder(int folder) {
    if (folder != SpecialFolder::AppData)
        throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("Unknown special folder %1").arg(folder));
    // $XDG_DATA_HOME when it is absolute, else ~/.local/share.
    const QString path = platform::XdgDataHome();
    if (path.isEmpty())
        throw Error(ErrorNumber::PathNotFound, QStringLiteral("The application-data folder is unknown"));
    return path;
}

} // namespace pellora
