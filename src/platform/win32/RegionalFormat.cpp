// The regional formats on Windows: the user's own short date and long time settings.

#include "platform/support/RegionalFormat.h"
#include "platform/win32/Win32Api.h"

#include <QLocale>

namespace pellora::platform {

// Should the system refuse, Qt's reading of the same user settings stands in. The date always
// shows the century.

QString ShortDateText(const QDate& date) {
    try {
        return QString::fromStdWString(win32::ShortDate(date.year(), date.month(), date.day()));
    } catch (const win32::Failure&) {
        const QLocale system = QLocale::system();
        const std::wstring picture = system.dateFormat(QLocale::ShortFormat).toStdWString();
        return system.toString(date, QString::fromStdWString(win32::WithCentury(picture)));
    }
}

QString LongTimeText(const QTime& time) {
    try {
        return QString::fromStdWString(win32::LongTime(time.hour(), time.minute(), time.second()));
    } catch (const win32::Failure&) {
        return QLocale::system().toString(time, QLocale::LongFormat);
    }
}

} // namespace pellora::platform
