// The program's own folders and files on Windows. The per-user folders are private to their
// user already and the file system has no FIFOs or devices among files: nobody else's folders to
// refuse and no modes to take back. Files are still read with a limit and replaced whole.

#include "platform/runtime/Error.h"
#include "platform/support/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

HANDLE Handle(qintptr handle) { return reinterpret_cast<HANDLE>(handle); }

} // namespace

bool MakePrivatePath(const QString& folder) {
    if (folder.isEmpty())
        return false;
    // The per-user folders are private already; another process may make the same folder at the
    // same time, and what counts is that it is one afterwards.
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    return QDir().mkpath(path) && QFileInfo(path).isDir();
}

NewFile::~NewFile() {
    if (handle_ != -1)
        ::CloseHandle(Handle(handle_));
    if (!path_.isEmpty())
        ::DeleteFileW(Native(path_).c_str());
}

int NewFile::Create(const QString& folder) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = NewTempFilePath(folder);
        const HANDLE handle =
            ::CreateFileW(Native(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            handle_ = reinterpret_cast<qintptr>(handle);
            path_ = path;
            return 0;
        }
        const int err = ErrnoOf(::GetLastError());
        if (err != EEXIST)
            return err;
    }
    return EEXIST;
}

int NewFile::Write(const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<qsizetype>(left, 1 << 30));
        DWORD written = 0;
        if (!::WriteFile(Handle(handle_), data, chunk, &written, nullptr))
            return ErrnoOf(::GetLastError());
        data += written;
        left -= written;
    }
    return 0;
}

int NewFile::Sync() { return ::FlushFileBuffers(Handle(handle_)) ? 0 : ErrnoOf(::GetLastError()); }

int NewFile::Close() {
    const HANDLE handle = Handle(handle_);
    handle_ = -1;
    return ::CloseHandle(handle) ? 0 : ErrnoOf(::GetLastError());
}

int RenameFile(const QString& from, const QString& to, bool replace) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists, in one step.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return ::MoveFileExW(Native(from).c_str(), Native(to).c_str(), flags) ? 0 : ErrnoOf(::GetLastError());
}

void SyncFolder(const QString&) {} // MOVEFILE_WRITE_THROUGH has done it

bool BelongsToAnotherUser(const QString&) { return false; }

void KeepFolderPrivate(const QString&, const QStringList&) {}

OwnFile ReadOwnFile(const QString& path, qint64 maxBytes, QByteArray* bytes) {
    if (bytes)
        bytes->clear();
    const QFileInfo info(path);
    if (!info.exists())
        return OwnFile::Missing;
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
    for (int n = 1; n <= 100; ++n) {
        const QString target = path + (n == 1 ? QStringLiteral(".damaged") : QStringLiteral(".damaged-%1").arg(n));
        // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
        if (::MoveFileExW(Native(path).c_str(), Native(target).c_str(), 0))
            return true;
        const DWORD code = ::GetLastError();
        if (code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS)
            return false;
    }
    return false;
}

void WriteWholeFile(const QString& path, const QByteArray& bytes) {
    const QString folder = QFileInfo(path).absolutePath();
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
    if (const int closeErr = temp.Close(); err == 0)
        err = closeErr;
    if (err == 0)
        err = RenameFile(temp.path(), path, true);
    if (err != 0)
        throw failed(err);
    temp.Release();
}

} // namespace pellora::platform
