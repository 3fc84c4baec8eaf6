#pragma once

// The Win32 calls behind the Windows build, in plain C++ with no Qt: the mailslot file, the
// ANSI and OEM code pages, the per-user application-data folder, folder creation, the shell
// and the desktop wallpaper. Texts come in as UTF-16 (std::wstring) and leave as the bytes of
// the code page named. Kept free of Qt so that it builds with any Windows compiler and its
// tests run without the widgets.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pellora::win32 {

// A Win32 call that failed; `code` is the system error (GetLastError()).
class Failure : public std::runtime_error {
public:
    Failure(const std::string& call, unsigned long code);
    unsigned long code() const noexcept { return code_; }

private:
    unsigned long code_;
};

// The system's message text for an error code, without the trailing line break; "Error N."
// when the system has none.
std::wstring ErrorText(unsigned long code);

// ERROR_REMOTE_MAILSLOTS_DEPRECATED: Windows 11 24H2 and Windows Server 2025 refuse remote
// mailslots unless a policy allows them.
constexpr unsigned long kErrorRemoteMailslotsDeprecated = 3025;

// The line the user reads under "Can't open mailslot." or "Can't write to mailslot.": the
// system's own text of `code` (ErrorText), except for kErrorRemoteMailslotsDeprecated, whose text
// says which policy an administrator turns on, on this computer and on the receiving one.
std::wstring MailslotErrorText(unsigned long code);

// `text` in code page `codePage` (a number such as 437, or CP_ACP / CP_OEMCP for the system's
// pages), in one WideCharToMultiByte call. In the single- and double-byte pages a character
// the page lacks becomes '?' (no best-fit look-alikes, so "é" under code page 866 is '?' and
// not 'e'); UTF-8 lacks no character. Throws Failure when the system cannot convert at all,
// for example into a code page it does not have.
std::string ToCodePage(std::wstring_view text, unsigned codePage);

// `text` in the system's ANSI code page (CP_ACP), as ToCodePage.
std::string ToAnsi(std::wstring_view text);

// `text` in the system's OEM code page (CP_OEMCP), as ToCodePage: one byte per character in
// the single-byte pages, CR, LF and TAB unchanged, a character the page lacks as '?'.
std::string ToOem(std::wstring_view text);

// One mailslot (or any file) opened for writing. Destroying it closes the handle.
class MailslotFile {
public:
    ~MailslotFile();
    MailslotFile(const MailslotFile&) = delete;
    MailslotFile& operator=(const MailslotFile&) = delete;

    // Opens `path` ("\\PC7\mailslot\messngr") with CreateFileA: the path in the ANSI code
    // page (a character the page lacks becomes '?'), GENERIC_WRITE, FILE_SHARE_READ,
    // OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL. Returns nullptr when the system answers
    // INVALID_HANDLE_VALUE (or the path cannot be converted at all); `error`, when given, then
    // receives the system error.
    static std::unique_ptr<MailslotFile> Open(std::wstring_view path, unsigned long* error = nullptr);

    // Writes `message` with one WriteFile call, so that it leaves as one mailslot message.
    // True only when every byte was written. On failure `error` receives the system error
    // (0 for a short write) and `written` the count the system reported.
    bool Write(std::string_view message, unsigned long* error = nullptr, unsigned long* written = nullptr);

private:
    explicit MailslotFile(void* handle) : handle_(handle) {}
    void* handle_;
};

// The per-user application-data folder (FOLDERID_RoamingAppData, the folder CSIDL_APPDATA
// names), for example "C:\Users\Ann\AppData\Roaming". Throws Failure when the system has none.
std::wstring AppDataFolder();

// True when `path` names an existing folder (not a file).
bool IsDirectory(std::wstring_view path);

// Creates the folder `path` together with every missing parent. True when the folder exists
// afterwards, also when it was there already; false when it cannot be created, for example
// because a file stands in its place or in the place of one of its parents. '/' and '\' both
// separate folders.
bool CreateDirectoryTree(std::wstring_view path);

// ShellExecuteA(owner, operation, file, parameters, directory, showCommand), every text in
// the ANSI code page; empty texts are passed as empty strings, not as null. Returns the
// shell's result: greater than 32 on success, 32 or less on failure. Throws Failure only when
// a text cannot be converted at all.
std::intptr_t ShellExecuteAnsi(void* owner, std::wstring_view operation, std::wstring_view file,
                               std::wstring_view parameters, std::wstring_view directory, int showCommand);

// The date in the user's own short date format (LOCALE_SSHORTDATE of the user's default locale,
// through GetDateFormatEx), always with a four-digit year: for example L"24.02.2016" or
// L"2/24/2016", and L"07/12/2026" for a short date of "dd/MM/yy". Throws Failure when the system
// cannot read the format or format the date.
std::wstring ShortDate(int year, int month, int day);

// A GetDateFormatEx date picture with a four-digit year: "y" and "yy" outside quoted text
// become "yyyy"; longer years, and everything else, stay as they are.
std::wstring WithCentury(std::wstring_view picture);

// The time in the user's own long time format (GetTimeFormatEx for the user's default locale,
// no flags), with AM or PM where that format has them, for example L"10:01:05 AM". Throws
// Failure when the system cannot format it.
std::wstring LongTime(int hour, int minute, int second);

// The full path of this program's own .exe file.
std::wstring ModulePath();

// The registry key under HKEY_CURRENT_USER where the shell looks up programs started by the
// name of their .exe file alone (from the Run box, or ShellExecute with "pellora.exe").
inline constexpr wchar_t kAppPathsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";

// Registers the program `exePath` ("C:\Apps\Pellora\pellora.exe") under
// HKEY_CURRENT_USER\<appPathsKey>\<its file name>: the default value is the full path, "Path"
// its folder. Values that are right already are not written again. False when the path has no
// folder or the registry cannot be written.
bool RegisterAppPath(std::wstring_view exePath, std::wstring_view appPathsKey = kAppPathsKey);

// The image file of the desktop wallpaper (SPI_GETDESKWALLPAPER); empty when there is none.
std::wstring DesktopWallpaper();

} // namespace pellora::win32
