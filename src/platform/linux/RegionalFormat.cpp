// The regional formats on Linux: the C library's own date and time formats (those of strftime's
// %x and %X) of the locale that LC_ALL, LC_TIME or LANG names, read through a locale object of
// our own so that the process's global locale is never touched.

#include "platform/support/RegionalFormat.h"

#include <array>
#include <ctime>
#include <locale.h>
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

} // namespace

QString ShortDateText(const QDate& date) { return TimeLocale().Format(L"%x", BrokenDown(date, QTime(0, 0))); }

QString LongTimeText(const QTime& time) { return TimeLocale().Format(L"%X", BrokenDown(QDate(), time)); }

} // namespace pellora::platform
