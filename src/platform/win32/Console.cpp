// The program's console on Windows. The program is a windowed one: started from a console, it
// gets no standard output or error unless they were redirected, and attaches to its parent's
// console for them. Arguments come from the wide command line.

#include "platform/support/Console.h"

#include "platform/runtime/Error.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <shellapi.h>

namespace pellora::platform {

namespace {

bool IsUsable(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

void Write(DWORD which, const QString& text) {
    const HANDLE handle = GetStdHandle(which);
    if (!IsUsable(handle))
        return;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(text.utf16()), DWORD(text.size()), &written, nullptr);
        return;
    }
    const QByteArray bytes = text.toUtf8();
    qsizetype done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.constData() + done, DWORD(bytes.size() - done), &written, nullptr) || written == 0)
            return;
        done += written;
    }
}

} // namespace

std::optional<QStringList> ProgramArguments(int, char**) {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr)
        return std::nullopt;
    QStringList arguments;
    for (int i = 1; i < count; ++i)
        arguments << QString::fromWCharArray(words[i]);
    LocalFree(words);
    return arguments;
}

void UseParentConsole() {
    const bool output = IsUsable(GetStdHandle(STD_OUTPUT_HANDLE));
    const bool error = IsUsable(GetStdHandle(STD_ERROR_HANDLE));
    if ((output && error) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    if (!IsUsable(console))
        return;
    if (!output)
        SetStdHandle(STD_OUTPUT_HANDLE, console);
    if (!error)
        SetStdHandle(STD_ERROR_HANDLE, console);
}

void WriteStandardOutput(const QString& text) { Write(STD_OUTPUT_HANDLE, text); }
void WriteStandardError(const QString& text) { Write(STD_ERROR_HANDLE, text); }

QByteArray ReadStandardInput() {
    const HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!IsUsable(handle) || GetConsoleMode(handle, &mode))
        return QByteArray();
    QByteArray bytes;
    char buffer[16384];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &read, nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF)
                return bytes;
            throw Error(ErrorNumber::PathFileAccess,
                        QStringLiteral("The standard input cannot be read (error %1).").arg(error));
        }
        if (read == 0)
            return bytes;
        bytes.append(buffer, qsizetype(read));
    }
}

} // namespace pellora::platform
