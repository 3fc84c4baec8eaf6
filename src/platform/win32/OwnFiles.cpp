// The program's own folders and files on Windows. The per-user folders are private to their
// user by their access lists, and nobody else can change the way to them: nobody else's folders
// to refuse and no modes to take back, so the files are opened by path. A temporary file is held
// open without sharing while it is written, so that no other instance can remove it then; one
// that can be removed at start belongs to no running instance. Files are read with a limit and
// replaced whole.

#include "platform/runtime/Error.h"
#include "platform/support/PrivateFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

namespace pellora::platform {

namespace {

std::wstring Native(const QString& path) { return QDir::toNativeSeparators(path).toStdWString(); }

// The Win32 errors met here, as the C library's errno values.
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

std::atomic<int> fileSyncs{0};
std::atomic<int> folderSyncs{0};

constexpr int kMaxSetAside = 100;

QString FolderOf(const QString& path) {
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    const qsizetype slash = clean.lastIndexOf(u'/');
    return slash < 0 ? QStringLiteral(".") : clean.left(slash == 0 ? 1 : slash);
}

// A new file under a temporary name, open for writing and shared with nobody.
class TempFile {
public:
    ~TempFile() {
        Close();
        if (!path_.isEmpty())
            ::DeleteFileW(Native(path_).c_str());
    }
    int Create(const QString& folder) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString path = folder + u'/' + NewTempFileName();
            handle_ = ::CreateFileW(Native(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
            if (handle_ != INVALID_HANDLE_VALUE) {
                path_ = path;
                return 0;
            }
            const int err = ErrnoOf(::GetLastError());
            if (err != EEXIST)
                return err;
        }
        return EEXIST;
    }
    int Write(const QByteArray& bytes) {
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
    int Sync() {
        if (!::FlushFileBuffers(handle_))
            return ErrnoOf(::GetLastError());
        ++fileSyncs;
        return 0;
    }
    int Close() {
        if (handle_ == INVALID_HANDLE_VALUE)
            return 0;
        const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
        return ::CloseHandle(handle) ? 0 : ErrnoOf(::GetLastError());
    }
    const QString& path() const { return path_; }
    void Release() { path_.clear(); }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    QString path_;
};

int Move(const QString& from, const QString& to, bool replace) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists, in one step;
    // MOVEFILE_WRITE_THROUGH returns once the move is on the disk (the folder's sync).
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return ::MoveFileExW(Native(from).c_str(), Native(to).c_str(), flags) ? 0 : ErrnoOf(::GetLastError());
}

} // namespace

QString UserHomeFolder() { return QDir::homePath(); }

bool MakePrivatePath(const QString& folder) {
    if (folder.isEmpty())
        return false;
    // The per-user folders are private already; another process may make the same folder at the
    // same time, and what counts is that it is one afterwards.
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    return QDir().mkpath(path) && QFileInfo(path).isDir();
}

FolderCheck CheckProgramFolder(const QString& folder, int, const QStringList&, bool make) {
    FolderCheck result;
    result.folder = QDir::cleanPath(QDir(folder).absolutePath());
    if (!make) {
        result.outcome = FolderCheck::Sound;
        return result;
    }
    if (!MakePrivatePath(result.folder))
        return result;
    // A temporary file another instance still writes is open without sharing: it stays.
    for (const QString& name : QDir(result.folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (IsTempFileName(name))
            ::DeleteFileW(Native(result.folder + u'/' + name).c_str());
    result.outcome = FolderCheck::Sound;
    return result;
}

void ForgetProgramFolders() {}

OwnFile ReadOwnFile(const QString& path, qint64 maxBytes, QByteArray* bytes) {
    if (bytes)
        bytes->clear();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return OwnFile::Missing;
    if (info.isSymLink() || info.isJunction())
        return OwnFile::Foreign;
    if (info.isDir())
        return OwnFile::Folder;
    if (!info.isFile())
        return OwnFile::Foreign;
    if (!bytes)
        return info.size() > maxBytes ? OwnFile::TooLarge : OwnFile::Regular;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return OwnFile::Unreadable;
    *bytes = file.read(maxBytes);
    if (file.error() != QFileDevice::NoError)
        return OwnFile::Unreadable;
    return file.atEnd() ? OwnFile::Regular : OwnFile::TooLarge;
}

bool SetAside(const QString& path) {
    QString oldest;
    QDateTime oldestTime;
    for (int n = 1; n <= kMaxSetAside; ++n) {
        const QString target = path + (n == 1 ? QStringLiteral(".damaged") : QStringLiteral(".damaged-%1").arg(n));
        const int err = Move(path, target, false);
        if (err == 0)
            return true;
        if (err != EEXIST)
            return false;
        const QDateTime time = QFileInfo(target).lastModified();
        if (oldest.isEmpty() || time < oldestTime) {
            oldest = target;
            oldestTime = time;
        }
    }
    // None free: the oldest one set aside makes room (a folder only when empty).
    if (oldest.isEmpty() || !(QFile::remove(oldest) || QDir().rmdir(oldest)))
        return false;
    return Move(path, oldest, false) == 0;
}

QString WriteWholeFile(const QString& path, const QByteArray& bytes, bool durable, const FreeName& names) {
    const QString first = names ? names(1) : path;
    if (first.isEmpty() || first.endsWith(u'/') || first.endsWith(u'\\'))
        throw ErrorFromErrno(ENOENT, QStringLiteral("Can't write"), path);
    const QString folder = FolderOf(first);
    TempFile temp;
    if (const int err = temp.Create(folder))
        throw ErrorFromErrno(err, QStringLiteral("Can't create a file in"), folder);
    int err = temp.Write(bytes);
    if (err == 0 && durable)
        err = temp.Sync();
    if (const int closeErr = temp.Close(); err == 0)
        err = closeErr;
    if (err != 0)
        throw ErrorFromErrno(err, QStringLiteral("Can't write"), path);
    QString written;
    for (int n = 1; written.isEmpty(); ++n) {
        const QString candidate = n == 1 ? first : names(n);
        if (candidate.isEmpty())
            throw ErrorFromErrno(EEXIST, QStringLiteral("Can't write"), path);
        err = Move(temp.path(), candidate, !names);
        if (err == 0)
            written = candidate;
        else if (err != EEXIST || !names)
            throw ErrorFromErrno(err, QStringLiteral("Can't write"), candidate);
    }
    temp.Release();
    if (durable)
        ++folderSyncs; // MOVEFILE_WRITE_THROUGH has put the new name on the disk
    return written;
}

SyncCounts DiskSyncs() { return {fileSyncs.load(), folderSyncs.load()}; }

} // namespace pellora::platform
