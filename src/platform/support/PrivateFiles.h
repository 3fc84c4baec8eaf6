#pragma once

// The program's files hold personal messages and names: the folders it creates are open to
// their owner only (0700) and the files it writes readable by their owner only (0600). The
// umask may make either stricter, never looser. On Windows the per-user folders are private
// already and these helpers only create what is missing.

#include <QFileDevice>
#include <QString>

namespace pellora::platform {

// Creates `folder` with every missing parent, each new one 0700 (less what the umask takes).
// Folders that exist are left as they are. True when `folder` is a folder afterwards.
bool MakePrivatePath(const QString& folder);

// 0600 less what the umask takes, as Qt permissions: what a file the program writes gets.
QFileDevice::Permissions PrivateFilePermissions();

// Before a file is written by a component that keeps the mode it finds (QSettings): gives an
// existing `path` the private mode, or creates it empty with that mode. False when neither
// can be done.
bool MakeFilePrivate(const QString& path);

} // namespace pellora::platform
