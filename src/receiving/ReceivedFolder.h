#pragma once

// The data folder's "Received" folder: one text file per received message, in the format and
// under the name pattern of a local copy ("Message 2026-12-08 14-05-09.TXT", "... (2).TXT" for
// the next one of the same second), private to the user.

#include "receiving/ReceivedMessage.h"

#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace pellora::receiving {

// "<dataPath>/Received".
QString ReceivedFolderPath(const QString& dataPath);

// Makes the folder (0700, its files 0600) or closes it when it is open to others. Throws
// pellora::Error when it, or the data folder, belongs to another user, or cannot be made.
void PrepareReceivedFolder(const QString& folder);

// Writes the message's file into `folder` atomically (a private temporary file renamed into place)
// and returns its path; the name comes from the time received alone, never from what the datagram
// says. The file is not flushed to the disk one by one: a flood of datagrams would otherwise be a
// flood of disk flushes that stalls the receiver and the desktop; the system writes it within
// seconds. `number` is the message's number within its second: 1 gives "Message <time>.TXT", 2
// and on "Message <time> (<number>).TXT" (a name taken already gets the local copy's next free
// number). Throws pellora::Error.
QString SaveReceivedMessage(const QString& folder, const ReceivedMessage& message, int number = 1);

// The time and number of a message file's name ("2026-12-07 12-42-54", 2), or an empty time.
std::pair<QString, int> MessageFileStamp(const QString& name);

// Removes the file of a dropped message when it is a message file directly in `folder`; anything
// else is left alone. True when it is gone.
bool RemoveReceivedFile(const QString& folder, const QString& path);

// True for "Message yyyy-MM-dd HH-mm-ss.TXT" and "Message yyyy-MM-dd HH-mm-ss (N).TXT".
bool IsMessageFileName(const QString& name);

// A message file's content read back: From, To, Computer and the text; the time comes from the
// file name. Nothing when the content is not that of a message file.
std::optional<ReceivedMessage> ParseMessageFile(const QString& fileName, const QString& content);

// The messages of the message files in `folder`, oldest first (by the time in their names, then
// their number). Files that are not the user's own regular files, larger than a message file can
// be, or not in the format, are left out.
std::vector<ReceivedMessage> LoadReceivedMessages(const QString& folder);

} // namespace pellora::receiving
