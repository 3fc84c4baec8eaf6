// The mailslot transport on Windows: the Win32 file calls (CreateFileA with
// GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL; one WriteFile;
// CloseHandle), made by the Qt-free win32::MailslotFile of Win32Api.cpp, behind the program's
// Mailslots interface. A failed or short write is reported, not counted as delivered.
#include "platform/mailslot/MailslotPath.h"
#include "platform/mailslot/Mailslots.h"
#include "platform/win32/Win32Api.h"

#include <QString>

#include <string_view>

namespace pellora::platform {

namespace {

class Win32MailslotFile : public MailslotFile {
public:
    explicit Win32MailslotFile(std::unique_ptr<win32::MailslotFile> file) : file_(std::move(file)) {}

    bool Write(const QByteArray& message, QString* reason) override {
        unsigned long error = 0;
        unsigned long written = 0;
        const std::string_view bytes(message.constData(), static_cast<std::size_t>(message.size()));
        if (file_->Write(bytes, &error, &written))
            return true;
        if (reason) {
            if (error != 0)
                *reason = QString::fromStdWString(win32::MailslotErrorText(error));
            else
                *reason = QStringLiteral("%1 of %2 bytes were written.").arg(written).arg(message.size());
        }
        return false;
    }

private:
    std::unique_ptr<win32::MailslotFile> file_; // destroying it calls CloseHandle
};

class Win32Mailslots : public Mailslots {
public:
    std::unique_ptr<MailslotFile> Open(const QString& path, QString* reason) override {
        // CreateFileA opens far more than mailslots: a computer part that is not a plain name
        // never reaches it, nor an address the system would read as octal or as a short form.
        const std::optional<MailslotPath> parsed = ParseMailslotPath(path);
        if (!parsed || !IsUsableComputerName(parsed->computer))
            return nullptr;
        if (const QString refused = NonCanonicalAddressReason(parsed->computer); !refused.isEmpty()) {
            if (reason)
                *reason = refused;
            return nullptr;
        }
        // win32::MailslotFile::Open converts the path to the ANSI code page for CreateFileA and
        // answers nullptr for INVALID_HANDLE_VALUE only, with GetLastError() in `error`.
        unsigned long error = 0;
        auto file = win32::MailslotFile::Open(path.toStdWString(), &error);
        if (!file) {
            if (reason && error != 0)
                *reason = QString::fromStdWString(win32::MailslotErrorText(error));
            return nullptr;
        }
        return std::make_unique<Win32MailslotFile>(std::move(file));
    }
};

} // namespace

std::shared_ptr<Mailslots> CreateSystemMailslots() { return std::make_shared<Win32Mailslots>(); }

} // namespace pellora::platform
