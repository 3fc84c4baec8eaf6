// The user's short date and long time formats.

#include "Check.h"
#include "platform/win32/Win32Api.h"

using namespace pellora::win32;

// scripts/test-windows runs these in a U.S. English locale.
TEST("regional", "U.S. English: month/day/year with the century, and AM or PM") {
    CHECK_EQ(ShortDate(2016, 2, 24), L"2/24/2016");
    CHECK_EQ(LongTime(10, 1, 5), L"10:01:05 AM");
    CHECK_EQ(LongTime(23, 59, 59), L"11:59:59 PM");
    CHECK_EQ(LongTime(12, 42, 54), L"12:42:54 PM");
}
