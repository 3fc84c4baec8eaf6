#include "archive/LocalCopy.h"

#include "platform/components/Components.h"
#include "platform/runtime/Error.h"
#include "platform/support/RegionalFormat.h"
#include "platform/support/Support.h"

#include <QLocale>

#include <exception>

namespace pellora::archive {

QString LocalCopyFileName(const QDateTime& sent, bool tempFilePrefix) {
    const QString stamp = QLocale::c().toString(sent, QStringLiteral("yyyy-MM-dd HH-mm-ss"));
    return (tempFilePrefix ? QStringLiteral("~$") : QString()) + QStringLiteral("Message ") + stamp +
           QStringLiteral(".TXT");
}

QStringList LocalCopyFilePatterns() { return {QStringLiteral("Message *.TXT"), QStringLiteral("~$Message *.TXT")}; }

QString DateText(const QDateTime& when) {
    const QString date = platform::ShortDateText(when.date());
    const QTime time = when.time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return date;
    return date + u' ' + platform::LongTimeText(time);
}

QString LocalCopyText(const QString& from, const QString& to, const QString& computer, const QDateTime& sent,
                      const QString& message) {
    const QString crlf = QStringLiteral("\r\n");
    QString text;
    if (!from.isEmpty())
        text += QStringLiteral("From:     ") + from + crlf;
    if (!to.isEmpty())
        text += QStringLiteral("To:       ") + to + crlf;
    if (!computer.isEmpty())
        text += QStringLiteral("Computer: ") + computer + crlf;
    text += QStringLiteral("Date:     ") + DateText(sent) + crlf;
    text += crlf;
    text += message;
    return text;
}

void SaveLocalCopy(const QString& dataPath, bool useTempFilePrefix, const QString& from, const QString& to,
                   const QString& computer, const QDateTime& sent, const QString& message, const AskRetry& askRetry) {
    const QString text = LocalCopyText(from, to, computer, sent, message);
    QString path;
    try {
        path = ksBuildFileName(dataPath, LocalCopyFileName(sent, useTempFilePrefix));
    } catch (const std::exception&) {
        path.clear(); // the write below fails on the empty path and the user hears of it
    }
    const QString prompt = path + QStringLiteral("\r\n\r\nCan't write file. Local copy of this message was not saved.");

    for (;;) {
        Error failure(ErrorNumber::Internal, QString());
        try {
            using namespace platform;
            textFileWriter().WriteText(path, text, Existing::Keep, Encoding::Utf8, LineEnds::AsIs, Durability::Durable);
            return;
        } catch (const Error& error) {
            failure = error;
        } catch (const std::exception& error) {
            failure = Error(ErrorNumber::Internal, QString::fromLocal8Bit(error.what()));
        }
        try {
            if (!askRetry(prompt, failure))
                return;
        } catch (const std::exception&) {
            return; // no way to ask: give up the copy, as Cancel would
        }
    }
}

} // namespace pellora::archive
