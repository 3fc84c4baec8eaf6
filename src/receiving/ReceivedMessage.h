#pragma once

// One received Messenger message, as the receiver keeps and shows it.

#include "platform/netbios/MessengerDatagram.h"

#include <QDateTime>
#include <QString>

#include <cstdint>

namespace pellora::receiving {

struct ReceivedMessage {
    QDateTime received; // when it arrived (local time, to the second)
    QString from;       // the sender it names, control characters made visible
    QString to;         // the recipient it names, likewise
    QString computer;   // where it came from: the name it claims, the address it came from
    QString text;       // the text as sent (OEM code page decoded), control characters as they are
    QString file;       // the file it is saved in; empty when it is not saved
};

// A control character (below U+0020, U+007F, U+0080..U+009F) as a visible sign: U+2400 + code
// for C0, U+2421 for DEL, U+FFFD for C1. With `keepLineBreaks`, CR, LF and TAB stay as they are.
QString VisibleControls(const QString& text, bool keepLineBreaks);

// A NetBIOS name as text: its 15 name bytes decoded from the OEM code page, trailing blanks
// dropped, control characters made visible; the suffix is left out.
QString NameText(const platform::netbios::Name& name);

// "a.b.c.d" of an address in host byte order.
using platform::netbios::AddressText;

// This computer's NetBIOS name: the host name's first label, upper case, at most 15 characters.
QString ThisComputerName(const QString& hostName);

// True when a datagram that came to a broadcast address is for this computer: sent to its name,
// to the workgroup `workgroup` (when not empty) or to "*" (any suffix).
bool AddressedToThisComputer(const platform::netbios::Name& destination, const QString& thisComputer,
                             const QString& workgroup);

// What the message shows as the computer it came from: the name the datagram claims, then "at"
// and the address it really came from; the address it claims when that differs; and a plain
// warning when it claims this computer's name but did not come from this computer.
QString ComputerText(const QString& claimedName, std::uint32_t claimedAddress, std::uint32_t realAddress,
                     const QString& thisComputer, bool fromThisComputer);

// The computer a reply goes to: the address the message came from, as its computer text names it
// ("LINUXBOX at 10.0.0.1 ..." gives "10.0.0.1"); else the name; empty when it names neither.
QString ReplyComputer(const QString& computerText);

// The message of a Messenger datagram that came from `realAddress` at `received`; the strings are
// decoded with this computer's OEM code page.
ReceivedMessage MessageFromDatagram(const platform::netbios::MessengerDatagram& datagram, std::uint32_t realAddress,
                                    bool fromThisComputer, const QString& thisComputer, const QDateTime& received);

// What the message takes of the bound on bytes: its texts in UTF-16 and a fixed part.
qint64 MessageBytes(const ReceivedMessage& message);

} // namespace pellora::receiving
