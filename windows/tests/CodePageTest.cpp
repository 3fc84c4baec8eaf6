// The packet's code page: texts converted into the OEM code page of the system in one step,
// under the Western (437) and the Cyrillic (866) OEM pages. The tests of one page are a group of
// their own ("oem-437", "oem-866"), run with the matching locale (windows/CMakeLists.txt); in
// another locale they skip.

#include "Check.h"
#include "platform/win32/Win32Api.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

using pellora::win32::ToAnsi;
using pellora::win32::ToOem;

namespace {

std::string Bytes(std::initializer_list<unsigned char> bytes) { return std::string(bytes.begin(), bytes.end()); }

void RequireOemPage(unsigned page) {
    if (GetOEMCP() != page)
        SKIP("the OEM code page is " + std::to_string(GetOEMCP()) + ", not " + std::to_string(page) +
             " (run with the matching locale)");
}

} // namespace

TEST("oem", "every OEM page keeps ASCII, CR, LF and TAB and gives nothing for nothing") {
    CHECK_EQ(ToOem(L""), std::string());
    CHECK_EQ(ToOem(L"Ann"), std::string("Ann"));
    CHECK_EQ(ToOem(L"Hi\r\nthere\tnow"), std::string("Hi\r\nthere\tnow"));
    // The packet's separators survive when a caller converts a whole packet at once.
    CHECK_EQ(ToOem(std::wstring(L"Ann\0Bob\0Hi\0", 11)),
             Bytes({0x41, 0x6E, 0x6E, 0x00, 0x42, 0x6F, 0x62, 0x00, 0x48, 0x69, 0x00}));
}

TEST("oem-437", "code page 437: Western letters as their DOS bytes, the rest as '?'") {
    RequireOemPage(437);
    CHECK_EQ(ToOem(L"Gr\u00fc\u00dfe"), Bytes({0x47, 0x72, 0x81, 0xE1, 0x65}));                    // "Grüße"
    CHECK_EQ(ToOem(L"caf\u00e9 \u00c4\u00f1"), Bytes({0x63, 0x61, 0x66, 0x82, 0x20, 0x8E, 0xA4})); // "café Äñ"
    // Not in the page: the euro sign, Cyrillic, Chinese, and symbols that only look alike.
    CHECK_EQ(ToOem(L"\u20ac"), std::string("?"));
    CHECK_EQ(ToOem(L"\u0416\u043e"), std::string("??"));
    CHECK_EQ(ToOem(L"a\u4e2db"), std::string("a?b"));
    CHECK_EQ(ToOem(L"\u0100\u0107"), std::string("??")); // "Āć": no best fit to "Ac"
    // Still one byte per character where a character is found.
    CHECK_EQ(ToOem(L"\u00fc\u00fc\u00fc").size(), std::size_t{3});
}

TEST("oem-866", "code page 866: Cyrillic letters as their DOS bytes, the rest as '?'") {
    RequireOemPage(866);
    CHECK_EQ(ToOem(L"\u041f\u0440\u0438\u0432\u0435\u0442"), Bytes({0x8F, 0xE0, 0xA8, 0xA2, 0xA5, 0xE2})); // "Привет"
    CHECK_EQ(ToOem(L"\u0401\u0451 \u0416"), Bytes({0xF0, 0xF1, 0x20, 0x86}));                              // "Ёё Ж"
    CHECK_EQ(ToOem(L"Ann\r\n\u0410"), Bytes({0x41, 0x6E, 0x6E, 0x0D, 0x0A, 0x80}));
    // Not in the page: Western accented letters (no best fit to plain "e"), the euro sign, Chinese.
    CHECK_EQ(ToOem(L"caf\u00e9"), std::string("caf?"));
    CHECK_EQ(ToOem(L"\u00fc\u20ac\u4e2d"), std::string("???"));
}

TEST("oem", "the ANSI page of the same locale is a different page") {
    if (GetACP() == 1252) {
        CHECK_EQ(ToAnsi(L"caf\u00e9"), Bytes({0x63, 0x61, 0x66, 0xE9}));
        CHECK_EQ(ToAnsi(L"\u0416"), std::string("?"));
    } else if (GetACP() == 1251) {
        CHECK_EQ(ToAnsi(L"\u041f\u0440"), Bytes({0xCF, 0xF0}));
        CHECK_EQ(ToAnsi(L"caf\u00e9"), std::string("caf?"));
    } else {
        SKIP("needs ANSI code page 1252 or 1251, this system has " + std::to_string(GetACP()));
    }
}

TEST("oem", "a page named by number converts the same under any locale") {
    using pellora::win32::ToCodePage;
    CHECK_EQ(ToCodePage(L"Gr\u00fc\u00dfe \u20ac", 437), Bytes({0x47, 0x72, 0x81, 0xE1, 0x65, 0x20, 0x3F}));
    CHECK_EQ(ToCodePage(L"\u041f\u0440 caf\u00e9", 866), Bytes({0x8F, 0xE0, 0x20, 0x63, 0x61, 0x66, 0x3F}));
    // UTF-8, the page of the system-wide "Unicode UTF-8" option, takes every character.
    CHECK_EQ(ToCodePage(L"\u00e9\u20ac\u4e2d", CP_UTF8), Bytes({0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xE4, 0xB8, 0xAD}));
    bool failed = false;
    try {
        ToCodePage(L"x", 12345); // no such code page
    } catch (const pellora::win32::Failure&) {
        failed = true;
    }
    CHECK(failed);
}
