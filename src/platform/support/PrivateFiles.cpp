#include "platform/support/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace pellora::platform {

#ifndef Q_OS_WIN
namespace {

constexpr QFileDevice::Permissions kOwnerFolder = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ReadUser |
                                                  QFileDevice::WriteUser | QFileDevice::ExeUser;

// The process's umask. The kernel tells it in /proc/self/status without changing it; where
// that line is missing, it is read by setting it and setting it back.
mode_t CurrentUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (!line.startsWith("Umask:"))
                continue;
            bool ok = false;
            const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
            if (ok)
                return static_cast<mode_t>(mask & 0777);
        }
    }
    const mode_t mask = ::umask(0077);
    ::umask(mask);
    return mask;
}

} // namespace
#endif

bool MakePrivatePath(const QString& folder) {
    if (folder.isEmpty())
        return false;
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    // The missing folders, innermost first.
    QStringList missing;
    for (QString at = path; !QFileInfo::exists(at); at = QFileInfo(at).path()) {
        missing.prepend(at);
        if (QFileInfo(at).path() == at)
            break;
    }
    for (const QString& each : std::as_const(missing)) {
        // Qt applies the umask to the mode it creates a folder with. Another process may make
        // the same folder at the same time; what counts is that it is one afterwards.
#ifdef Q_OS_WIN
        const bool made = QDir().mkdir(each);
#else
        const bool made = QDir().mkdir(each, kOwnerFolder);
#endif
        if (!made && !QFileInfo(each).isDir())
            return false;
    }
    return QFileInfo(path).isDir();
}

QFileDevice::Permissions PrivateFilePermissions() {
    QFileDevice::Permissions permissions =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser;
#ifndef Q_OS_WIN
    const mode_t mask = CurrentUmask();
    if (mask & S_IRUSR)
        permissions &= ~(QFileDevice::ReadOwner | QFileDevice::ReadUser);
    if (mask & S_IWUSR)
        permissions &= ~(QFileDevice::WriteOwner | QFileDevice::WriteUser);
#endif
    return permissions;
}

bool MakeFilePrivate(const QString& path) {
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return true;
#else
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        return ::close(fd) == 0 || errno == EINTR;
    if (errno != EEXIST)
        return false;
    struct stat info {};
    if (::stat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    const mode_t wanted = S_IRUSR | S_IWUSR;
    const mode_t mode = wanted & ~CurrentUmask();
    if ((info.st_mode & 07777) == mode)
        return true;
    return ::chmod(name.constData(), mode) == 0;
#endif
}

} // namespace pellora::platform
