#pragma once

// The user's regional date and time formats, as the system's own settings define them. These
// never throw.

#include <QDate>
#include <QString>
#include <QTime>

namespace pellora::platform {

// `date` in the user's short date format, always with a four-digit year (a format that gives
// "07/12/26" gives "07/12/2026"), for example "24.02.2016" or "02/24/2016".
QString ShortDateText(const QDate& date);

// `time` in the user's long time format, with AM or PM where that format has them, for
// example "10:01:05" or "10:01:05 AM".
QString LongTimeText(const QTime& time);

} // namespace pellora::platform
