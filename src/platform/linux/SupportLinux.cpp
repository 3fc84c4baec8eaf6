// The support library's services that differ on Linux.

#include "platform/Error.h"
#include "platform/Support.h"

#include <QStandardPaths>

namespace pellora {

void ksRegisterAppPath() {
    // Linux finds programs through PATH and desktop entries; nothing to register.
}

bool ksIsInIDE() { return false; }

QString ksGetSpecialFolder(int folder) {
    if (folder != SpecialFolder::AppData)
        throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("Unknown special folder %1").arg(folder));
    // $XDG_DATA_HOME, or ~/.local/share.
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (path.isEmpty())
        throw Error(ErrorNumber::PathNotFound, QStringLiteral("The application-data folder is unknown"));
    return path;
}

} // namespace pellora
