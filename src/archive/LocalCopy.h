#pragma once

// The local copy of a delivered message: one text file per message in the data folder,
// named after the moment of sending.

#include <QDateTime>
#include <QString>

namespace pellora::archive {

// "Message 2016-02-24 10-01-05.TXT" (24-hour clock), with "~$" in front when asked.
QString LocalCopyFileName(const QDateTime& sent, bool tempFilePrefix);

// The date and time as the user's regional settings show them: the short date, one blank and
// the long time; the time is left out when it is exactly 00:00:00.
QString DateText(const QDateTime& when);

// The content of a local copy: the "From:", "To:" and "Computer:" lines where their field is
// not empty, the "Date:" line, an empty line (each ending with CR LF), then the message as is.
QString LocalCopyText(const QString& from, const QString& to, const QString& computer, const QDateTime& sent,
                      const QString& message);

// Writes the local copy of a delivered message into `dataPath`. A failed write puts the path and
// the reason before the user, who may retry as often as they like or give up. Never throws.
void SaveLocalCopy(const QString& dataPath, bool useTempFilePrefix, const QString& from, const QString& to,
                   const QString& computer, const QDateTime& sent, const QString& message);

} // namespace pellora::archive
