#pragma once

// The parts of a mailslot path, and which computer texts may go into one. The same check runs
// before every mailslot open on every platform: on Windows the path goes to CreateFileA, which
// would take "srv\share\x" for a file on a server and "host@SSL@443" for a WebDAV address.

#include <QString>

#include <cstdint>
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

// What a computer text that looks like an IPv4 address is. A text looks like one when it holds a
// digit and every part between its dots is a decimal number, a hexadecimal one ("0x...") or
// empty. The systems' resolvers read such texts in more ways than one ("10.77.000.010" as octal,
// 10.77.0.8; "10.77.8" as 10.77.0.8; "0xa.0.0.7" as 10.0.0.7), so only the canonical dotted quad
// is taken: four decimal parts from 0 to 255 without leading zeros. The others are refused
// before any system call sees them.
enum class AddressForm { NotAnAddress, Canonical, NotCanonical };
// `address` receives the address of a Canonical text (10.0.0.7 is 0x0A000007).
AddressForm ClassifyAddressText(const QString& computer, std::uint32_t* address = nullptr);

// The reason line for a computer text that looks like an address but is not canonical; empty
// for any other text.
QString NonCanonicalAddressReason(const QString& computer);

} // namespace pellora::platform
