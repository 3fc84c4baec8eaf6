// The version resource and the icon "A_MAIN", read back from this program, which carries the
// same resource script as pellora.exe.

#include "Check.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

namespace {

std::vector<unsigned char> OwnVersionInfo() {
    wchar_t self[MAX_PATH] = {};
    if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0)
        return {};
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(self, &ignored);
    std::vector<unsigned char> data(size);
    if (size == 0 || !GetFileVersionInfoW(self, 0, size, data.data()))
        return {};
    return data;
}

std::wstring Value(std::vector<unsigned char>& info, const std::wstring& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = L"\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || value == nullptr)
        return L"<missing>";
    std::wstring text(static_cast<const wchar_t*>(value), length);
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

#pragma pack(push, 2)
struct IconDirectoryEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
struct IconDirectory {
    WORD reserved;
    WORD type;
    WORD count;
};
#pragma pack(pop)

} // namespace

TEST("resource", "the version numbers are 1.2.0.14 for file and product") {
    auto info = OwnVersionInfo();
    REQUIRE(!info.empty());
    void* value = nullptr;
    UINT length = 0;
    REQUIRE(VerQueryValueW(info.data(), L"\\", &value, &length));
    REQUIRE(length >= sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    CHECK_EQ(fixed->dwSignature, static_cast<DWORD>(0xFEEF04BD));
    CHECK_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(2, 1)));
    CHECK_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(14, 0)));
    CHECK_EQ(fixed->dwProductVersionMS, static_cast<DWORD>(MAKELONG(2, 1)));
    CHECK_EQ(fixed->dwProductVersionLS, static_cast<DWORD>(MAKELONG(14, 0)));
    CHECK_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

TEST("resource", "one U.S. English Unicode string table with the program's names") {
    auto info = OwnVersionInfo();
    REQUIRE(!info.empty());
    void* value = nullptr;
    UINT length = 0;
    REQUIRE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &value, &length));
    REQUIRE(length == 4);
    const auto* translation = static_cast<const WORD*>(value);
    CHECK_EQ(translation[0], static_cast<WORD>(0x409));
    CHECK_EQ(translation[1], static_cast<WORD>(1200));

    CHECK_EQ(Value(info, L"FileDescription"), std::wstring(L"Kestrine - Pellora 1.02"));
    CHECK_EQ(Value(info, L"Comments"), std::wstring(L"Kestrine - Pellora 1.02"));
    CHECK_EQ(Value(info, L"ProductName"), std::wstring(L"Kestrine"));
    CHECK_EQ(Value(info, L"CompanyName"), std::wstring(L"Orvane"));
    CHECK_EQ(Value(info, L"InternalName"), std::wstring(L"Pellora"));
    CHECK_EQ(Value(info, L"OriginalFilename"), std::wstring(L"pellora.exe"));
    CHECK_EQ(Value(info, L"FileVersion"), std::wstring(L"1.02.0014"));
    CHECK_EQ(Value(info, L"ProductVersion"), std::wstring(L"1.02.0014"));
}

TEST("resource", "the icon A_MAIN holds a 32x32 and a 16x16 image") {
    const HRSRC group = FindResourceW(nullptr, L"A_MAIN", MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
    REQUIRE(group != nullptr);
    const HGLOBAL loaded = LoadResource(nullptr, group);
    REQUIRE(loaded != nullptr);
    const auto* directory = static_cast<const IconDirectory*>(LockResource(loaded));
    REQUIRE(directory != nullptr);
    CHECK_EQ(directory->type, static_cast<WORD>(1));
    REQUIRE(directory->count == 2);
    bool has16 = false;
    bool has32 = false;
    for (WORD i = 0; i < directory->count; ++i) {
        const auto* entries = reinterpret_cast<const IconDirectoryEntry*>(directory + 1);
        const IconDirectoryEntry& entry = entries[i];
        has16 = has16 || (entry.width == 16 && entry.height == 16);
        has32 = has32 || (entry.width == 32 && entry.height == 32);
    }
    CHECK(has16);
    CHECK(has32);
    const HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), L"A_MAIN", IMAGE_ICON, 32, 32, 0);
    CHECK(icon != nullptr);
    if (icon != nullptr)
        DestroyIcon(static_cast<HICON>(icon));
}
