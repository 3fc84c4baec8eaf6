// The program's own folders and files on Linux: who owns them, reading them without blocking,
// replacing them whole, moving them aside.

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

// A file descriptor that is closed, and a temporary file that is removed, unless released.
class TempFile {
public:
    ~TempFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!path_.isEmpty())
            ::unlink(QFile::encodeName(path_).constData());
    }

    int Create(const QString& folder) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString path = NewTempFilePath(folder);
            fd_ =
                ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd_ >= 0) {
                path_ = path;
                return 0;
            }
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }

    int Write(const QByteArray& bytes) {
        const char* data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, data, static_cast<size_t>(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return errno;
            data += n;
            left -= n;
        }
        return ::fsync(fd_) == 0 ? 0 : errno;
    }

    // Gives the file a modification time later than `previous` when the clock has not moved on
    // past it (two writes in one millisecond, or a clock set back).
    void ComeAfter(const struct stat& previous) {
        struct stat now {};
        if (::fstat(fd_, &now) != 0)
            return;
        const auto milliseconds = [](const timespec& t) { return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000; };
        const qint64 later = milliseconds(previous.st_mtim) + 1;
        if (milliseconds(now.st_mtim) >= later)
            return;
        const timespec times[2] = {{0, UTIME_OMIT}, {later / 1000, (later % 1000) * 1000000}};
        ::futimens(fd_, times);
    }

    int Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
    }

    const QString& path() const { return path_; }
    void Release() { path_.clear(); }

private:
    int fd_ = -1;
    QString path_;
};

} // namespace

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
    TempFile temp;
    if (const int err = temp.Create(folder))
        throw failed(err);
    if (const int err = temp.Write(bytes))
        throw failed(err);
    const QByteArray name = QFile::encodeName(target);
    if (struct stat previous{}; Lstat(name, previous))
        temp.ComeAfter(previous);
    if (const int err = temp.Close())
        throw failed(err);
    if (::rename(QFile::encodeName(temp.path()).constData(), name.constData()) != 0)
        throw failed(errno);
    temp.Release();
    // The new name is on the disk too; not every file system can say so, and the file is.
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace pellora::platform
