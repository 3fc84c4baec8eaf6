// Writes whole text files: encoded, through a temporary file in the target folder, flushed and
// then moved into place, so that a reader only ever sees no file or the whole file.

#include "platform/components/Components.h"
#include "platform/runtime/Services.h"
#include "platform/support/PrivateFiles.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace pellora::platform {

namespace {

// How many "name (n).ext" variants are tried before giving up.
constexpr int kMaxVariants = 10000;

QByteArray Encode(const QString& text, int encoding) {
    switch (encoding) {
    case WriteTextOption::Utf8: return text.toUtf8();
    case WriteTextOption::Latin1: return text.toLatin1();
    case WriteTextOption::LocaleEncoding: return text.toLocal8Bit();
    default: break;
    }
    throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("Unknown text encoding %1.").arg(encoding));
}

// Turns every LF that has no CR before it into CR LF.
QString WithCrLf(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\n' && (i == 0 || text.at(i - 1) != u'\r'))
            out.append(u'\r');
        out.append(text.at(i));
    }
    return out;
}

qsizetype LastSeparator(const QString& path) {
#ifdef Q_OS_WIN
    return std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
#else
    return path.lastIndexOf(u'/');
#endif
}

// "dir/X.TXT" -> "dir/X (n).TXT"; a name without extension (or a name that only starts with a
// dot) gets the number at its end.
QString Variant(const QString& path, int n) {
    if (n <= 1)
        return path;
    const qsizetype slash = LastSeparator(path);
    const qsizetype dot = path.lastIndexOf(u'.');
    const QString number = QStringLiteral(" (%1)").arg(n);
    if (dot <= slash + 1)
        return path + number;
    return path.left(dot) + number + path.mid(dot);
}

QString Folder(const QString& path) {
    const qsizetype slash = LastSeparator(path);
    if (slash < 0)
        return QStringLiteral(".");
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}

#ifdef Q_OS_WIN

// The Win32 errors the writer meets, as the C library's errno values.
int ErrnoOf(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    default: return EIO;
    }
}

std::wstring Native(const QString& path) { return QDir::toNativeSeparators(path).toStdWString(); }

class TempFile {
public:
    ~TempFile() {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
        if (!path_.isEmpty())
            ::DeleteFileW(Native(path_).c_str());
    }

    int Create(const QString& folder) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString path = NewTempFilePath(folder);
            const HANDLE handle = ::CreateFileW(Native(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle != INVALID_HANDLE_VALUE) {
                handle_ = handle;
                path_ = path;
                return 0;
            }
            const int err = ErrnoOf(::GetLastError());
            if (err != EEXIST)
                return err;
        }
        return EEXIST;
    }

    int WriteAll(const QByteArray& bytes) {
        const char* data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const DWORD chunk = static_cast<DWORD>(std::min<qsizetype>(left, 1 << 30));
            DWORD written = 0;
            if (!::WriteFile(handle_, data, chunk, &written, nullptr))
                return ErrnoOf(::GetLastError());
            data += written;
            left -= written;
        }
        return 0;
    }

    int Sync() { return ::FlushFileBuffers(handle_) ? 0 : ErrnoOf(::GetLastError()); }

    int Close() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return ::CloseHandle(handle) ? 0 : ErrnoOf(::GetLastError());
    }

    const QString& path() const { return path_; }
    void Release() { path_.clear(); }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    QString path_;
};

// Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists, in one step.
int Move(const QString& from, const QString& to, bool replace) {
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return ::MoveFileExW(Native(from).c_str(), Native(to).c_str(), flags) ? 0 : ErrnoOf(::GetLastError());
}

void SyncFolder(const QString&) {} // MOVEFILE_WRITE_THROUGH has done it

#else

// A file descriptor that is closed, and a temporary file that is removed, unless released.
class TempFile {
public:
    ~TempFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!path_.isEmpty())
            ::unlink(QFile::encodeName(path_).constData());
    }

    // Creates a new, empty file with a random name in `folder`, readable by its owner only (less
    // what the umask takes): it becomes the written file. Returns errno on failure.
    int Create(const QString& folder) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString path = NewTempFilePath(folder);
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0) {
                fd_ = fd;
                path_ = path;
                return 0;
            }
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }

    int WriteAll(const QByteArray& bytes) {
        const char* data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, data, static_cast<size_t>(left));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            data += n;
            left -= n;
        }
        return 0;
    }

    int Sync() { return ::fsync(fd_) == 0 ? 0 : errno; }

    int Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
    }

    const QString& path() const { return path_; }
    // The file now lives under another name (or was removed); nothing to clean up.
    void Release() { path_.clear(); }

private:
    int fd_ = -1;
    QString path_;
};

// Moves `from` to `to`; unless `replace`, only when `to` does not exist, decided in one step.
// Returns 0, EEXIST or another errno.
int Move(const QString& fromPath, const QString& toPath, bool replace) {
    const QByteArray from = QFile::encodeName(fromPath);
    const QByteArray to = QFile::encodeName(toPath);
    if (replace)
        return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // The file system cannot rename without replacing; a hard link is just as exclusive.
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
    ::fsync(fd); // not every file system can; the file itself is on disk already
    ::close(fd);
}

#endif

class SystemTextFileWriter final : public TextFileWriter {
public:
    QString WriteText(const QString& path, const QString& text, int keepExisting, int encoding, int lineEnds,
                      int durability) override {
        if (keepExisting != WriteTextOption::KeepExisting && keepExisting != WriteTextOption::Replace)
            throw Error(ErrorNumber::InvalidProcedureCall,
                        QStringLiteral("Unknown keepExisting %1.").arg(keepExisting));
        if (lineEnds != WriteTextOption::LineEndsCrLf && lineEnds != WriteTextOption::LineEndsAsIs)
            throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("Unknown lineEnds %1.").arg(lineEnds));
        if (durability != WriteTextOption::NotFlushed && durability != WriteTextOption::Durable)
            throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("Unknown durability %1.").arg(durability));
        if (path.isEmpty() || LastSeparator(path) == path.size() - 1)
            throw ErrorFromErrno(ENOENT, QStringLiteral("Can't write"), path);

        const QByteArray bytes = Encode(lineEnds == WriteTextOption::LineEndsCrLf ? WithCrLf(text) : text, encoding);
        const QString folder = Folder(path);

        RemoveStaleTempFiles(folder);
        TempFile temp;
        if (const int err = temp.Create(folder))
            throw ErrorFromErrno(err, QStringLiteral("Can't create a file in"), folder);
        int err = temp.WriteAll(bytes);
        if (err == 0 && durability == WriteTextOption::Durable)
            err = temp.Sync();
        if (const int closeErr = temp.Close(); err == 0)
            err = closeErr;
        if (err != 0)
            throw ErrorFromErrno(err, QStringLiteral("Can't write"), path);

        QString written;
        if (keepExisting == WriteTextOption::Replace) {
            if (const int moveErr = Move(temp.path(), path, true))
                throw ErrorFromErrno(moveErr, QStringLiteral("Can't write"), path);
            written = path;
        } else {
            for (int n = 1; written.isEmpty(); ++n) {
                if (n > kMaxVariants)
                    throw ErrorFromErrno(EEXIST, QStringLiteral("Can't write"), path);
                const QString candidate = Variant(path, n);
                err = Move(temp.path(), candidate, false);
                if (err == 0)
                    written = candidate;
                else if (err != EEXIST)
                    throw ErrorFromErrno(err, QStringLiteral("Can't write"), candidate);
            }
        }
        temp.Release();
        if (durability == WriteTextOption::Durable)
            SyncFolder(folder);
        return written;
    }
};

} // namespace

std::shared_ptr<TextFileWriter> CreateSystemTextFileWriter() { return std::make_shared<SystemTextFileWriter>(); }
TextFileWriter& textFileWriter() { return EnsureService(services().textFileWriter, CreateSystemTextFileWriter); }

} // namespace pellora::platform
