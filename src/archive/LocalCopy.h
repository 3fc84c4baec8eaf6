#pragma once

// The local copy of a delivered message: one text file per message in the data folder,
// named after the moment of sending.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

namespace pellora {
class Error;
}

namespace pellora::archive {

// Asks the user whether to try a failed write again: `text` is what they are told, `failure`
// why the write failed. True to try again, false to give up.
using AskRetry = std::function<bool(const QString& text, const Error& failure)>;

// "Message 2016-02-24 10-01-05.TXT" (24-hour clock), with "~$" in front when asked.
QString LocalCopyFileName(const QDateTime& sent, bool tempFilePrefix);

// The wildcard patterns every name LocalCopyFileName gives matches (with the " (n)" a second copy
// of the same second gets): start-up keeps the files they match private.
QStringList LocalCopyFilePatterns();

// The date and time as the user's regional settings show them: the short date, one blank and
// the long time; the time is left out when it is exactly 00:00:00.
QString DateText(const QDateTime& when);

// The content of a local copy: the "From:", "To:" and "Computer:" lines where their field is
// not empty, the "Date:" line, an empty line (each ending with CR LF), then the message as is.
QString LocalCopyText(const QString& from, const QString& to, const QString& computer, const QDateTime& sent,
                      const QString& message);

// Writes the local copy of a delivered message into `dataPath`. After a failed write it asks
// `askRetry` with the path, a blank line and "Can't write file. Local copy of this message was not
// saved.", and the failure; the user may retry as often as they like or give up. An answer that
// throws gives up. Never throws.
void SaveLocalCopy(const QString& dataPath, bool useTempFilePrefix, const QString& from, const QString& to,
                   const QString& computer, const QDateTime& sent, const QString& message, const AskRetry& askRetry);

} // namespace pellora::archive
