#pragma once

// The parts of a mailslot path, and which computer texts may go into one. The same check runs
// before every mailslot open on every platform: on Windows the path goes to CreateFileA, which
// would take "srv\share\x" for a file on a server and "host@SSL@443" for a WebDAV address.

#include <QString>

#include <optional>

namespace pellora::platform {

struct MailslotPath {
    QString computer; // as typed
    QString mailslot; // the name after "\mailslot\" ("messngr")
};

// Splits "\\" + computer + "\mailslot\" + name. Nothing when the path has another form or
// the computer part is empty. The computer part is not checked here.
std::optional<MailslotPath> ParseMailslotPath(const QString& path);

// True when `computer` can name the computer of a mailslot path: not empty, no '\', '/', ':',
// '@', '?' or control character, and '*' only as the whole name (the workgroup).
bool IsUsableComputerName(const QString& computer);

} // namespace pellora::platform
