// The program's own folders and files on Windows. The per-user folders are private to their
// user already and the file system has no FIFOs or devices among files: nobody else's folders to
// refuse and no modes to take back. Files are still read with a limit and replaced whole.

#include "platform/runtime/Error.h"
#include "platform/support/PrivateFiles.h"
#include "platform/win32/Win32Api.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <windows.h>

#include <algorithm>

namespace pellora::platform {

namespace {

std::wstring Native(const QString& path) { return QDir::toNativeSeparators(path).toStdWString(); }

Error Failed(const QString& path, DWORD code) {
    return Error(ErrorNumber::PathFileAccess,
                 QStringLiteral("Can't write %1: %2").arg(path, QString::fromStdWString(win32::ErrorText(code))));
}

} // namespace

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
    RemoveStaleTempFiles(folder);
    QString temp;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        temp = NewTempFilePath(folder);
        handle =
            ::CreateFileW(Native(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (handle == INVALID_HANDLE_VALUE)
        throw Failed(path, ::GetLastError());

    DWORD code = ERROR_SUCCESS;
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (code == ERROR_SUCCESS && left > 0) {
        DWORD written = 0;
        if (!::WriteFile(handle, data, DWORD(std::min<qsizetype>(left, 1 << 30)), &written, nullptr))
            code = ::GetLastError();
        data += written;
        left -= written;
    }
    if (code == ERROR_SUCCESS && !::FlushFileBuffers(handle))
        code = ::GetLastError();
    if (!::CloseHandle(handle) && code == ERROR_SUCCESS)
        code = ::GetLastError();
    if (code == ERROR_SUCCESS &&
        !::MoveFileExW(Native(temp).c_str(), Native(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        code = ::GetLastError();
    if (code != ERROR_SUCCESS) {
        ::DeleteFileW(Native(temp).c_str());
        throw Failed(path, code);
    }
}

} // namespace pellora::platform
