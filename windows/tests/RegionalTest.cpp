// The user's short date and long time formats.

#include "Check.h"
#include "platform/win32/Win32Api.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

using namespace pellora::win32;

// scripts/test-windows runs these in a U.S. English locale.
TEST("regional", "U.S. English: month/day/year with the century, and AM or PM") {
    CHECK_EQ(ShortDate(2016, 2, 24), L"2/24/2016");
    CHECK_EQ(LongTime(10, 1, 5), L"10:01:05 AM");
    CHECK_EQ(LongTime(23, 59, 59), L"11:59:59 PM");
    CHECK_EQ(LongTime(12, 42, 54), L"12:42:54 PM");
}

TEST("regional", "a year without its century is widened; quoted text and longer years stay") {
    CHECK_EQ(WithCentury(L"dd/MM/yy"), L"dd/MM/yyyy");
    CHECK_EQ(WithCentury(L"d.M.y"), L"d.M.yyyy");
    CHECK_EQ(WithCentury(L"M/d/yyyy"), L"M/d/yyyy");
    CHECK_EQ(WithCentury(L"yy-MM-dd 'yy''y'"), L"yyyy-MM-dd 'yy''y'");
}

// The user's own short date "dd/MM/yy" for the length of the test, then the one before.
TEST("regional", "a user's two-digit short date keeps the century") {
    wchar_t before[80] = {};
    REQUIRE(GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SSHORTDATE, before, 80) > 0);
    struct Restore {
        const wchar_t* picture;
        ~Restore() { SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, picture); }
    } restore{before};
    REQUIRE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, L"dd/MM/yy"));
    CHECK_EQ(ShortDate(2026, 12, 7), L"07/12/2026");
}
