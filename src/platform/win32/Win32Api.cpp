#include "platform/win32/Win32Api.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <limits>
#include <optional>

namespace pellora::win32 {

namespace {

std::string Describe(const std::string& call, unsigned long code) {
    return call + " failed with error " + std::to_string(code) + ".";
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

} // namespace

Failure::Failure(const std::string& call, unsigned long code) : std::runtime_error(Describe(call, code)), code_(code) {}

std::wstring ErrorText(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length != 0 && buffer != nullptr ? std::wstring(buffer, length) : std::wstring();
    if (buffer != nullptr)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    if (text.empty())
        text = L"Error " + std::to_wstring(code) + L".";
    return text;
}

std::wstring MailslotErrorText(unsigned long code) {
    if (code == kErrorRemoteMailslotsDeprecated)
        return L"Remote mailslots are turned off on this computer. An administrator turns them on with the "
               L"policy \"Enable remote mailslots\" (Computer Configuration > Administrative Templates > "
               L"Network > Lanman Workstation); the receiving computer needs its own policy \"Enable remote "
               L"mailslots\" on too (Lanman Server).";
    return ErrorText(code);
}

std::string ToCodePage(std::wstring_view text, unsigned codePage) {
    if (text.empty())
        return {};
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw Failure("WideCharToMultiByte", ERROR_INVALID_PARAMETER);
    const int length = static_cast<int>(text.size());
    // No best-fit mapping: a character the page lacks becomes '?' rather than a look-alike
    // that would mean something else. UTF-8 (the system-wide "Unicode UTF-8" option sets both
    // pages to it) lacks no character and accepts neither the flag nor a default character.
    const UINT actual = codePage == CP_ACP ? GetACP() : codePage == CP_OEMCP ? GetOEMCP() : codePage;
    const bool utf8 = actual == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* defaultChar = utf8 ? nullptr : "?";
    const int needed = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, defaultChar, nullptr);
    if (needed <= 0)
        throw Failure("WideCharToMultiByte", GetLastError());
    std::string bytes(static_cast<std::size_t>(needed), '\0');
    if (WideCharToMultiByte(codePage, flags, text.data(), length, bytes.data(), needed, defaultChar, nullptr) != needed)
        throw Failure("WideCharToMultiByte", GetLastError());
    return bytes;
}

std::string ToAnsi(std::wstring_view text) { return ToCodePage(text, CP_ACP); }

std::string ToOem(std::wstring_view text) { return ToCodePage(text, CP_OEMCP); }

// ---------------------------------------------------------------------------------------------
// The mailslot file.

MailslotFile::~MailslotFile() { CloseHandle(static_cast<HANDLE>(handle_)); }

std::unique_ptr<MailslotFile> MailslotFile::Open(std::wstring_view path, unsigned long* error) {
    std::string ansiPath;
    try {
        ansiPath = ToAnsi(path);
    } catch (const Failure& failure) {
        if (error != nullptr)
            *error = failure.code();
        return nullptr;
    }
    const HANDLE handle = CreateFileA(ansiPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    // Only INVALID_HANDLE_VALUE means failure; any other value is a handle to write to.
    if (handle == INVALID_HANDLE_VALUE) {
        if (error != nullptr)
            *error = GetLastError();
        return nullptr;
    }
    return std::unique_ptr<MailslotFile>(new MailslotFile(handle));
}

bool MailslotFile::Write(std::string_view message, unsigned long* error, unsigned long* written) {
    if (error != nullptr)
        *error = 0;
    if (written != nullptr)
        *written = 0;
    if (message.size() > std::numeric_limits<DWORD>::max()) {
        if (error != nullptr)
            *error = ERROR_INVALID_PARAMETER;
        return false;
    }
    const auto size = static_cast<DWORD>(message.size());
    DWORD count = 0;
    const BOOL ok = WriteFile(static_cast<HANDLE>(handle_), message.data(), size, &count, nullptr);
    const DWORD lastError = ok ? 0 : GetLastError();
    if (written != nullptr)
        *written = count;
    if (ok && count == size)
        return true;
    if (error != nullptr)
        *error = lastError;
    return false;
}

// ---------------------------------------------------------------------------------------------
// Folders.

std::wstring AppDataFolder() {
    PWSTR path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &path);
    if (SUCCEEDED(result) && path != nullptr) {
        std::wstring folder(path);
        CoTaskMemFree(path);
        return folder;
    }
    CoTaskMemFree(path);
    // Systems before the known folders answer through the older call.
    wchar_t buffer[MAX_PATH] = {};
    const HRESULT old = SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
    if (SUCCEEDED(old) && buffer[0] != L'\0')
        return buffer;
    throw Failure("SHGetKnownFolderPath", static_cast<unsigned long>(result));
}

bool IsDirectory(std::wstring_view path) {
    if (path.empty())
        return false;
    const std::wstring terminated(path);
    const DWORD attributes = GetFileAttributesW(terminated.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectoryTree(std::wstring_view path) {
    std::wstring folder(path);
    for (auto& c : folder)
        if (c == L'/')
            c = L'\\';
    // "C:\Data\" names the same folder as "C:\Data"; keep the root's own backslash ("C:\").
    while (folder.size() > 1 && IsSeparator(folder.back()) && folder[folder.size() - 2] != L':')
        folder.pop_back();
    if (folder.empty())
        return false;
    if (IsDirectory(folder))
        return true;

    // Create the parent first; "C:\Data" has the parent "C:\". A path without a parent (a
    // drive, a bare name) is created directly or not at all.
    const std::size_t slash = folder.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 0) {
        std::wstring parent = folder.substr(0, slash);
        if (parent.back() == L':')
            parent += L'\\';
        if (parent != folder && !CreateDirectoryTree(parent))
            return false;
    }
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    // ERROR_ALREADY_EXISTS is also the answer when a file has that name.
    return IsDirectory(folder);
}

// ---------------------------------------------------------------------------------------------
// The shell and the desktop.

std::intptr_t ShellExecuteAnsi(void* owner, std::wstring_view operation, std::wstring_view file,
                               std::wstring_view parameters, std::wstring_view directory, int showCommand) {
    const std::string ansiOperation = ToAnsi(operation);
    const std::string ansiFile = ToAnsi(file);
    const std::string ansiParameters = ToAnsi(parameters);
    const std::string ansiDirectory = ToAnsi(directory);
    const HINSTANCE result = ShellExecuteA(static_cast<HWND>(owner), ansiOperation.c_str(), ansiFile.c_str(),
                                           ansiParameters.c_str(), ansiDirectory.c_str(), showCommand);
    return reinterpret_cast<std::intptr_t>(result);
}

// ---------------------------------------------------------------------------------------------
// The user's regional formats.

std::wstring WithCentury(std::wstring_view picture) {
    std::wstring widened;
    bool quoted = false;
    std::size_t i = 0;
    while (i < picture.size()) {
        if (picture[i] == L'\'')
            quoted = !quoted; // '' inside quotes (a quote itself) toggles twice
        if (quoted || picture[i] != L'y') {
            widened += picture[i++];
            continue;
        }
        const std::size_t end = std::min(picture.find_first_not_of(L'y', i), picture.size());
        widened.append(end - i <= 2 ? 4 : end - i, L'y');
        i = end;
    }
    return widened;
}

std::wstring ShortDate(int year, int month, int day) {
    std::wstring picture(80, L'\0'); // LOCALE_SSHORTDATE holds at most 80 characters
    const int pictureLength =
        GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SSHORTDATE, picture.data(), static_cast<int>(picture.size()));
    if (pictureLength <= 0)
        throw Failure("GetLocaleInfoEx", GetLastError());
    picture = WithCentury(std::wstring_view(picture.data(), static_cast<std::size_t>(pictureLength - 1)));

    SYSTEMTIME when{};
    when.wYear = static_cast<WORD>(year);
    when.wMonth = static_cast<WORD>(month);
    when.wDay = static_cast<WORD>(day);
    const int size = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &when, picture.c_str(), nullptr, 0, nullptr);
    if (size <= 0)
        throw Failure("GetDateFormatEx", GetLastError());
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    const int length = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &when, picture.c_str(), text.data(), size, nullptr);
    if (length <= 0)
        throw Failure("GetDateFormatEx", GetLastError());
    text.resize(static_cast<std::size_t>(length - 1)); // without the closing null
    return text;
}

std::wstring LongTime(int hour, int minute, int second) {
    SYSTEMTIME when{};
    when.wYear = 2000; // any valid date: only the time is formatted
    when.wMonth = 1;
    when.wDay = 1;
    when.wHour = static_cast<WORD>(hour);
    when.wMinute = static_cast<WORD>(minute);
    when.wSecond = static_cast<WORD>(second);
    const int size = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &when, nullptr, nullptr, 0);
    if (size <= 0)
        throw Failure("GetTimeFormatEx", GetLastError());
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    const int length = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &when, nullptr, text.data(), size);
    if (length <= 0)
        throw Failure("GetTimeFormatEx", GetLastError());
    text.resize(static_cast<std::size_t>(length - 1));
    return text;
}

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(path.size());
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), size);
        if (length == 0)
            throw Failure("GetModuleFileNameW", GetLastError());
        if (length < size) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2); // truncated: try again with more room
    }
}

// ---------------------------------------------------------------------------------------------
// The registry.

namespace {

// The string value `name` of the open key, or nothing when it is missing or not a string.
std::optional<std::wstring> ReadString(HKEY key, const wchar_t* name) {
    DWORD bytes = 0;
    if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, value.data(), &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

bool WriteString(HKEY key, const wchar_t* name, const std::wstring& value) {
    if (ReadString(key, name) == value)
        return true;
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) == ERROR_SUCCESS;
}

} // namespace

bool RegisterAppPath(std::wstring_view exePath, std::wstring_view appPathsKey) {
    const std::size_t slash = exePath.find_last_of(L"\\/");
    if (slash == std::wstring_view::npos || slash == 0 || slash + 1 == exePath.size())
        return false;
    const std::wstring path(exePath);
    const std::wstring folder(exePath.substr(0, slash));
    const std::wstring keyName = std::wstring(appPathsKey) + L"\\" + std::wstring(exePath.substr(slash + 1));
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyName.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const bool ok = WriteString(key, nullptr, path) && WriteString(key, L"Path", folder);
    RegCloseKey(key);
    return ok;
}

std::wstring DesktopWallpaper() {
    wchar_t buffer[MAX_PATH + 1] = {};
    if (!SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, buffer, 0))
        return {};
    buffer[MAX_PATH] = L'\0';
    return buffer;
}

} // namespace pellora::win32
