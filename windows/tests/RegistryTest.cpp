// The application path registration, under a key of the test's own so that the real App
// Paths key of the machine is left alone.

#include "Check.h"
#include "platform/win32/Win32Api.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

using pellora::win32::ModulePath;
using pellora::win32::RegisterAppPath;

namespace {

std::wstring Read(const std::wstring& key, const wchar_t* name) {
    wchar_t value[512] = {};
    DWORD bytes = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS)
        return L"<missing>";
    return value;
}

class ScratchKey {
public:
    ScratchKey() : root_(L"Software\\PelloraTest-" + std::to_wstring(GetCurrentProcessId())) {}
    ~ScratchKey() { RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str()); }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;
    std::wstring appPaths() const { return root_ + L"\\App Paths"; }

private:
    std::wstring root_;
};

} // namespace

TEST("registry", "the program is registered by its file name with its path and folder") {
    ScratchKey scratch;
    CHECK(RegisterAppPath(L"C:\\Apps\\Pellora\\pellora.exe", scratch.appPaths()));
    CHECK_EQ(Read(scratch.appPaths() + L"\\pellora.exe", nullptr), std::wstring(L"C:\\Apps\\Pellora\\pellora.exe"));
    CHECK_EQ(Read(scratch.appPaths() + L"\\pellora.exe", L"Path"), std::wstring(L"C:\\Apps\\Pellora"));

    // Moved elsewhere: the next start registers the new place.
    CHECK(RegisterAppPath(L"D:\\Tools\\pellora.exe", scratch.appPaths()));
    CHECK_EQ(Read(scratch.appPaths() + L"\\pellora.exe", nullptr), std::wstring(L"D:\\Tools\\pellora.exe"));
    CHECK_EQ(Read(scratch.appPaths() + L"\\pellora.exe", L"Path"), std::wstring(L"D:\\Tools"));

    CHECK(!RegisterAppPath(L"pellora.exe", scratch.appPaths()));
    CHECK(!RegisterAppPath(L"", scratch.appPaths()));
}

TEST("registry", "the program knows its own path") {
    const std::wstring self = ModulePath();
    CHECK(self.size() > 4 && self.compare(self.size() - 4, 4, L".exe") == 0);
    CHECK(GetFileAttributesW(self.c_str()) != INVALID_FILE_ATTRIBUTES);
}
