// The program's own folders and files on a Unix system: who owns them, creating them private,
// reading them without blocking, writing them whole through a temporary file, moving them aside.

#include "platform/runtime/Error.h"
#include "platform/support/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pellora::platform {

namespace {

constexpr mode_t kGroupAndOthers = S_IRWXG | S_IRWXO;

bool IsOwn(const struct stat& info) { return info.st_uid == ::geteuid(); }

bool Lstat(const QByteArray& path, struct stat& info) { return ::lstat(path.constData(), &info) == 0; }
bool Stat(const QByteArray& path, struct stat& info) { return ::stat(path.constData(), &info) == 0; }

// Where a write of `path` goes: the file itself, or, when it is a link of the user's own to a
// regular file of theirs (a settings file kept elsewhere by a dotfile manager), that file.
QString WriteTarget(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat link {};
    struct stat target {};
    if (!Lstat(name, link) || !S_ISLNK(link.st_mode) || !IsOwn(link) || !Stat(name, target) ||
        !S_ISREG(target.st_mode) || !IsOwn(target))
        return path;
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}

// Gives the open file `fd` a modification time later than `previous` when the clock has not
// moved on past it (two writes in one millisecond, or a clock set back).
void ComeAfter(int fd, const struct stat& previous) {
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        return;
    const auto milliseconds = [](const timespec& t) { return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000; };
    const qint64 later = milliseconds(previous.st_mtim) + 1;
    if (milliseconds(now.st_mtim) >= later)
        return;
    const timespec times[2] = {{0, UTIME_OMIT}, {later / 1000, (later % 1000) * 1000000}};
    ::futimens(fd, times);
}

} // namespace

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
        // Another process may make the same folder at the same time; what counts is that it is
        // one afterwards.
        if (::mkdir(QFile::encodeName(each).constData(), S_IRWXU) != 0 && !QFileInfo(each).isDir())
            return false;
    }
    return QFileInfo(path).isDir();
}

NewFile::~NewFile() {
    if (handle_ >= 0)
        ::close(int(handle_));
    if (!path_.isEmpty())
        ::unlink(QFile::encodeName(path_).constData());
}

int NewFile::Create(const QString& folder) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = NewTempFilePath(folder);
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            handle_ = fd;
            path_ = path;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int NewFile::Write(const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(int(handle_), data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        data += n;
        left -= n;
    }
    return 0;
}

int NewFile::Sync() { return ::fsync(int(handle_)) == 0 ? 0 : errno; }

int NewFile::Close() {
    const int fd = int(handle_);
    handle_ = -1;
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

int RenameFile(const QString& fromPath, const QString& toPath, bool replace) {
    const QByteArray from = QFile::encodeName(fromPath);
    const QByteArray to = QFile::encodeName(toPath);
    if (replace)
        return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
#endif
    // The system or the file system cannot rename without replacing; a hard link is just as
    // exclusive.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP)
        return errno;
    // Neither works here (some removable-media file systems): the best that remains.
    if (::access(to.constData(), F_OK) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

void SyncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd); // not every file system can; the files themselves are on disk already
    ::close(fd);
}

bool BelongsToAnotherUser(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (!Lstat(name, info))
        return false;
    if (!IsOwn(info))
        return true;
    return S_ISLNK(info.st_mode) && Stat(name, info) && !IsOwn(info);
}

void KeepFolderPrivate(const QString& folder, const QStringList& ownFiles) {
    const QByteArray name = QFile::encodeName(folder);
    struct stat info {};
    if (!Stat(name, info) || !S_ISDIR(info.st_mode) || !IsOwn(info) || (info.st_mode & kGroupAndOthers) == 0)
        return;
    // The folder first: once it is closed, nobody else can put anything in place of its files.
    ::chmod(name.constData(), info.st_mode & 07777 & ~kGroupAndOthers);
    if (ownFiles.isEmpty())
        return;
    const QDir dir(folder);
    for (const QString& file : dir.entryList(ownFiles, QDir::Files | QDir::Hidden | QDir::System)) {
        const QByteArray each = QFile::encodeName(dir.filePath(file));
        if (Lstat(each, info) && S_ISREG(info.st_mode) && IsOwn(info) && (info.st_mode & kGroupAndOthers) != 0)
            ::chmod(each.constData(), info.st_mode & 07777 & ~kGroupAndOthers);
    }
}

OwnFile ReadOwnFile(const QString& path, qint64 maxBytes, QByteArray* bytes) {
    if (bytes)
        bytes->clear();
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (!Lstat(name, info))
        return errno == ENOENT || errno == ENOTDIR ? OwnFile::Missing : OwnFile::Unreadable;
    const bool link = S_ISLNK(info.st_mode);
    if (link && !IsOwn(info))
        return OwnFile::Foreign;
    if (link && !Stat(name, info))
        return errno == ENOENT ? OwnFile::Missing : OwnFile::Unreadable;
    if (S_ISDIR(info.st_mode))
        return OwnFile::Folder;
    if (!S_ISREG(info.st_mode) || !IsOwn(info))
        return OwnFile::Foreign; // not even opened: a FIFO would wait for a writer, a device may act
    if (!bytes)
        return info.st_size > maxBytes ? OwnFile::TooLarge : OwnFile::Regular;

    // Should something else have taken its place since, the open does not wait for it, and what
    // was opened is looked at again.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (link ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return errno == ELOOP ? OwnFile::Foreign : OwnFile::Unreadable;
    OwnFile found = OwnFile::Regular;
    if (::fstat(fd, &info) != 0) {
        found = OwnFile::Unreadable;
    } else if (!S_ISREG(info.st_mode) || !IsOwn(info)) {
        found = OwnFile::Foreign;
    } else {
        bytes->resize(qsizetype(qMin<qint64>(maxBytes, info.st_size) + 1));
        qsizetype got = 0;
        while (got < bytes->size()) {
            const ssize_t n = ::read(fd, bytes->data() + got, size_t(bytes->size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                found = n < 0 ? OwnFile::Unreadable : OwnFile::Regular;
                break;
            }
            got += n;
        }
        bytes->truncate(qMin<qint64>(got, maxBytes));
        if (found == OwnFile::Regular && got > maxBytes)
            found = OwnFile::TooLarge;
    }
    ::close(fd);
    return found;
}

bool SetAside(const QString& path) {
    const QByteArray from = QFile::encodeName(path);
    for (int n = 1; n <= 100; ++n) {
        const QByteArray to =
            QFile::encodeName(path + (n == 1 ? QStringLiteral(".damaged") : QStringLiteral(".damaged-%1").arg(n)));
        struct stat info {};
        if (Lstat(to, info))
            continue;
        return ::rename(from.constData(), to.constData()) == 0;
    }
    return false;
}

void WriteWholeFile(const QString& path, const QByteArray& bytes) {
    const QString target = WriteTarget(path);
    const QString folder = QFileInfo(target).absolutePath();
    const auto failed = [&path](int err) {
        return Error(ErrorNumber::PathFileAccess,
                     QStringLiteral("Can't write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(err))));
    };
    RemoveStaleTempFiles(folder);
    NewFile temp;
    if (const int err = temp.Create(folder))
        throw failed(err);
    int err = temp.Write(bytes);
    if (err == 0)
        err = temp.Sync();
    if (err != 0)
        throw failed(err);
    const QByteArray name = QFile::encodeName(target);
    if (struct stat previous{}; Lstat(name, previous))
        ComeAfter(int(temp.handle()), previous);
    if (const int closeErr = temp.Close())
        throw failed(closeErr);
    if (const int moveErr = RenameFile(temp.path(), target, true))
        throw failed(moveErr);
    temp.Release();
    // The new name is on the disk too.
    SyncFolder(folder);
}

} // namespace pellora::platform
