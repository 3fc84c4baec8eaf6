// The data folder inside the per-user application-data folder, the shell's answer for a
// folder or program, and the desktop wallpaper setting.

#include "Check.h"
#include "platform/win32/Win32Api.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

using namespace pellora::win32;

namespace {

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool MakeFile(const std::wstring& path) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(file, "keep", 4, &written, nullptr);
    CloseHandle(file);
    return true;
}

// A folder of its own inside the application-data folder, removed with what it holds.
class Scratch {
public:
    Scratch() : path_(AppDataFolder() + L"\\PelloraTest-" + std::to_wstring(GetCurrentProcessId())) {}
    ~Scratch() { Remove(path_); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const std::wstring& path() const { return path_; }

private:
    static void Remove(const std::wstring& path) {
        WIN32_FIND_DATAW entry;
        const HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = entry.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    Remove(path + L"\\" + name);
                else
                    DeleteFileW((path + L"\\" + name).c_str());
            } while (FindNextFileW(find, &entry));
            FindClose(find);
        }
        RemoveDirectoryW(path.c_str());
    }
    std::wstring path_;
};

// True when the tests run on a system of their own (a fresh Wine prefix), where they may change
// settings and use the program's real data folder.
bool ScratchSystem() { return GetEnvironmentVariableW(L"PELLORA_SCRATCH_SYSTEM", nullptr, 0) != 0; }

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() &&
           CompareStringOrdinal(text.c_str() + text.size() - end.size(), static_cast<int>(end.size()), end.c_str(),
                                static_cast<int>(end.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

TEST("folders", "the application-data folder is the user's roaming folder and exists") {
    const std::wstring folder = AppDataFolder();
    CHECK(folder.size() > 3 && folder[1] == L':' && folder[2] == L'\\');
    CHECK(EndsWith(folder, L"\\AppData\\Roaming"));
    CHECK(IsDirectory(folder));
}

TEST("folders", "the data folder is created with its missing parent, and found again later") {
    Scratch scratch;
    const std::wstring data = scratch.path() + L"\\Orvane\\Pellora";
    REQUIRE(!IsDirectory(scratch.path()));
    CHECK(CreateDirectoryTree(data));
    CHECK(IsDirectory(scratch.path() + L"\\Orvane"));
    CHECK(IsDirectory(data));
    // A second start finds it in place.
    CHECK(CreateDirectoryTree(data));
    // Trailing and forward slashes name the same folder.
    CHECK(CreateDirectoryTree(data + L"\\"));
    CHECK(CreateDirectoryTree(scratch.path() + L"/Orvane/Pellora/"));
    CHECK(CreateDirectoryTree(scratch.path() + L"/Another/Level/"));
    CHECK(IsDirectory(scratch.path() + L"\\Another\\Level"));
}

TEST("folders", "the program's own data folder is made in the application-data folder") {
    if (!ScratchSystem())
        SKIP("set PELLORA_SCRATCH_SYSTEM=1 to let the test make Orvane\\Pellora in the user's folder");
    const std::wstring maker = AppDataFolder() + L"\\Orvane";
    const std::wstring data = maker + L"\\Pellora";
    REQUIRE(!IsDirectory(maker));
    CHECK(CreateDirectoryTree(data));
    CHECK(IsDirectory(data));
    RemoveDirectoryW(data.c_str());
    RemoveDirectoryW(maker.c_str());
}

TEST("folders", "a file in the place of the data folder or of its parent is a failure and stays") {
    Scratch scratch;
    REQUIRE(CreateDirectoryTree(scratch.path() + L"\\Orvane"));
    REQUIRE(MakeFile(scratch.path() + L"\\Orvane\\Pellora"));
    CHECK(!CreateDirectoryTree(scratch.path() + L"\\Orvane\\Pellora"));
    CHECK(IsFile(scratch.path() + L"\\Orvane\\Pellora"));

    REQUIRE(MakeFile(scratch.path() + L"\\Maker"));
    CHECK(!CreateDirectoryTree(scratch.path() + L"\\Maker\\Pellora"));
    CHECK(IsFile(scratch.path() + L"\\Maker"));
    CHECK(!CreateDirectoryTree(L""));
}

TEST("shell", "opening something that is not there is a result of 32 or less") {
    Scratch scratch;
    const std::wstring missing = scratch.path() + L"\\Orvane\\Pellora";
    const std::intptr_t result = ShellExecuteAnsi(nullptr, L"open", missing, L"", L"", SW_SHOWDEFAULT);
    CHECK(result <= 32);
}

TEST("shell", "opening a program that is there is a result above 32") {
    // The shell starts this very program, which sees the variable and ends at once.
    wchar_t self[MAX_PATH] = {};
    REQUIRE(GetModuleFileNameW(nullptr, self, MAX_PATH) > 0);
    REQUIRE(SetEnvironmentVariableW(L"PELLORA_TEST_CHILD", L"1"));
    const std::intptr_t result = ShellExecuteAnsi(nullptr, L"open", self, L"", L"", SW_SHOWDEFAULT);
    SetEnvironmentVariableW(L"PELLORA_TEST_CHILD", nullptr);
    CHECK(result > 32);
}

TEST("desktop", "the wallpaper is the file the desktop setting names") {
    // Changing the wallpaper is only fair on a system made for the tests (a fresh Wine prefix).
    if (!ScratchSystem())
        SKIP("set PELLORA_SCRATCH_SYSTEM=1 to let the test change the wallpaper setting");
    Scratch scratch;
    REQUIRE(CreateDirectoryTree(scratch.path()));
    const std::wstring image = scratch.path() + L"\\wallpaper.bmp";
    REQUIRE(MakeFile(image));
    std::wstring value = image;
    REQUIRE(SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, value.data(), 0));
    CHECK_EQ(DesktopWallpaper(), image);
    std::wstring none;
    SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, none.data(), 0);
    CHECK_EQ(DesktopWallpaper(), std::wstring());
}
