// The mailslot transport on Windows: the Win32 file interface, opened for writing as a shared-read existing file.
#include "platform/SystemServices.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <QString>

namespace pellora::platform {

namespace {

QString LastErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    QString text = length ? QString::fromWCharArray(buffer, static_cast<qsizetype>(length)).trimmed()
                          : QStringLiteral("Error %1.").arg(error);
    if (buffer)
        LocalFree(buffer);
    return text;
}

class Win32MailslotFile : public MailslotFile {
public:
    explicit Win32MailslotFile(HANDLE handle) : handle_(handle) {}
    ~Win32MailslotFile() override { CloseHandle(handle_); }
    Win32MailslotFile(const Win32MailslotFile&) = delete;
    Win32MailslotFile& operator=(const Win32MailslotFile&) = delete;

    bool Write(const QByteArray& message, QString* reason) override {
        DWORD written = 0;
        const BOOL ok = WriteFile(handle_, message.constData(), static_cast<DWORD>(message.size()), &written, nullptr);
        if (ok && written == static_cast<DWORD>(message.size()))
            return true;
        if (reason) {
            if (!ok)
                *reason = LastErrorText(GetLastError());
            else
                *reason = QStringLiteral("%1 of %2 bytes were written.").arg(written).arg(message.size());
        }
        return false;
    }

private:
    HANDLE handle_;
};

class Win32Mailslots : public Mailslots {
public:
    std::unique_ptr<MailslotFile> Open(const QString& path) override {
        // The path in the system's ANSI code page.
        const QByteArray ansiPath = AnsiBytes(path);
        const HANDLE handle = CreateFileA(ansiPath.constData(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return nullptr;
        return std::make_unique<Win32MailslotFile>(handle);
    }

private:
    static QByteArray AnsiBytes(const QString& text) {
        const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
        const int length = static_cast<int>(text.size());
        if (length == 0)
            return QByteArray();
        const int needed = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
        QByteArray bytes(needed > 0 ? needed : 0, '\0');
        if (needed > 0)
            WideCharToMultiByte(CP_ACP, 0, wide, length, bytes.data(), needed, nullptr, nullptr);
        return bytes;
    }
};

} // namespace

std::shared_ptr<Mailslots> CreateSystemMailslots() { return std::make_shared<Win32Mailslots>(); }

} // namespace pellora::platform
