#include "platform/linux/XdgFolders.h"

#include <QDir>
#include <QFile>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace pellora::platform {

namespace {

// The user's home folder: $HOME when it holds an absolute path, else the one the password
// database gives the user. A relative or missing $HOME never stands for a folder, so that
// nothing lands below the current one.
QString HomeFolder() {
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty() && QDir::isAbsolutePath(home))
        return QDir::cleanPath(home);
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr)
        return QString();
    const QString database = QFile::decodeName(found->pw_dir);
    return QDir::isAbsolutePath(database) ? QDir::cleanPath(database) : QString();
}

QString BaseFolder(const char* variable, const QString& underHome) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    const QString home = HomeFolder();
    return home.isEmpty() ? QString() : QDir::cleanPath(home + u'/' + underHome);
}

} // namespace

QString XdgDataHome() { return BaseFolder("XDG_DATA_HOME", QStringLiteral(".local/share")); }
QString XdgConfigHome() { return BaseFolder("XDG_CONFIG_HOME", QStringLiteral(".config")); }

} // namespace pellora::platform
