// The regional formats on a Unix system: the C library's own date and time formats (those of strftime's
// %x and %X) of the locale that LC_ALL, LC_TIME or LANG names, read through a locale object of
// our own so that the process's global locale is never touched. The date always shows the
// century, whatever the locale's short date does.

#include "platform/support/RegionalFormat.h"

#include <array>
#include <ctime>
#include <cwchar>
#include <langinfo.h>
#include <locale.h>
#include <string>
#include <wchar.h>

namespace pellora::platform {

namespace {

// The time part of the locale named by the environment, or the C locale when that one is not
// installed (as the C library itself falls back when a program sets its locale from there).
class TimeLocale {
public:
    TimeLocale() {
        // "": the C library reads LC_ALL, LC_TIME and LANG itself, in that order.
        locale_ = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
        if (locale_ == static_cast<locale_t>(nullptr))
            locale_ = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    }
    ~TimeLocale() {
        if (locale_ != static_cast<locale_t>(nullptr))
            freelocale(locale_);
    }
    TimeLocale(const TimeLocale&) = delete;
    TimeLocale& operator=(const TimeLocale&) = delete;

    // The locale's date format (that of %x), in glibc's wide copy so that it does not depend on
    // the locale's character set.
    const wchar_t* DateFormat() const {
        if (locale_ == static_cast<locale_t>(nullptr))
            return L"%m/%d/%y"; // the C locale's
        return reinterpret_cast<const wchar_t*>(nl_langinfo_l(_NL_WD_FMT, locale_));
    }

    // `tm` formatted by `pattern`; wide characters, so that the result does not depend on the
    // locale's character set.
    QString Format(const wchar_t* pattern, const std::tm& tm) const {
        std::array<wchar_t, 256> buffer{};
        std::size_t length = 0;
        if (locale_ != static_cast<locale_t>(nullptr))
            length = wcsftime_l(buffer.data(), buffer.size(), pattern, &tm, locale_);
        else
            length = wcsftime(buffer.data(), buffer.size(), pattern, &tm);
        return QString::fromWCharArray(buffer.data(), static_cast<qsizetype>(length));
    }

private:
    locale_t locale_ = static_cast<locale_t>(nullptr);
};

std::tm BrokenDown(const QDate& date, const QTime& time) {
    std::tm tm{};
    if (date.isValid()) {
        tm.tm_year = date.year() - 1900;
        tm.tm_mon = date.month() - 1;
        tm.tm_mday = date.day();
        tm.tm_wday = date.dayOfWeek() % 7;
        tm.tm_yday = date.dayOfYear() - 1;
    }
    if (time.isValid()) {
        tm.tm_hour = time.hour();
        tm.tm_min = time.minute();
        tm.tm_sec = time.second();
    }
    tm.tm_isdst = -1;
    return tm;
}

// `format` (a strftime date format) with a four-digit year: a year without its century (%y,
// or %Oy in the locale's own digits) becomes the whole year, and %D (%m/%d/%y) is spelt out with
// it. A year that already follows its century (%C%y) and the year of an era (%Ey) stay.
std::wstring WithCentury(const wchar_t* format) {
    std::wstring widened;
    bool afterCentury = false;
    const wchar_t* p = format;
    while (*p != L'\0') {
        if (*p != L'%') {
            widened += *p++;
            afterCentury = false;
            continue;
        }
        const wchar_t* start = p++;
        while (*p != L'\0' && std::wcschr(L"_-0^#123456789", *p) != nullptr)
            ++p; // flags and width
        const std::wstring flags(start + 1, p);
        const wchar_t modifier = (*p == L'E' || *p == L'O') ? *p++ : L'\0';
        const wchar_t conversion = *p;
        if (conversion == L'\0') {
            widened.append(start, p);
            break;
        }
        ++p;
        if (conversion == L'y' && modifier == L'\0' && !afterCentury)
            widened += L'%' + flags + L'Y';
        else if (conversion == L'y' && modifier == L'O' && !afterCentury)
            widened += L'%' + flags + L"OC%" + flags + L"Oy";
        else if (conversion == L'D' && modifier == L'\0')
            widened += L"%m/%d/%Y";
        else
            widened.append(start, p);
        afterCentury = conversion == L'C';
    }
    return widened;
}

} // namespace

QString ShortDateText(const QDate& date) {
    const TimeLocale locale;
    return locale.Format(WithCentury(locale.DateFormat()).c_str(), BrokenDown(date, QTime(0, 0)));
}

QString LongTimeText(const QTime& time) { return TimeLocale().Format(L"%X", BrokenDown(QDate(), time)); }

} // namespace pellora::platform
