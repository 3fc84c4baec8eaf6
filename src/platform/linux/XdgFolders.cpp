#include "platform/linux/XdgFolders.h"

#include "platform/support/PrivateFiles.h"

#include <QDir>

namespace pellora::platform {

namespace {

QString BaseFolder(const char* variable, const QString& underHome) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    // A relative or missing $HOME never stands for a folder, so that nothing lands below the
    // current one.
    const QString home = UserHomeFolder();
    return home.isEmpty() ? QString() : QDir::cleanPath(home + u'/' + underHome);
}

} // namespace

QString XdgDataHome() { return BaseFolder("XDG_DATA_HOME", QStringLiteral(".local/share")); }
QString XdgConfigHome() { return BaseFolder("XDG_CONFIG_HOME", QStringLiteral(".config")); }

} // namespace pellora::platform
