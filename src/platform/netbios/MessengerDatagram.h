#pragma once

// The receiving side of a Messenger message: a NetBIOS datagram (RFC 1002 4.4) carrying an SMB
// mailslot write ([MS-MAIL] 2.2.1) to \MAILSLOT\MESSNGR whose data are three NUL-terminated
// strings in the OEM code page (sender, recipient, text). Bytes only, no sockets: any bytes a
// host on the network sends come here first, so the parser trusts none of them.

#include "platform/netbios/NetBios.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace pellora::platform::netbios {

// The largest UDP payload the receiver reads; a longer datagram is malformed for it.
constexpr int kMaxReceivedDatagram = 1024;

// What one datagram turned out to be.
enum class DatagramKind {
    Messenger, // a whole, well-formed Messenger message
    Other,     // well-formed, but not for the Messenger mailslot (another mailslot, a name
               // query of the datagram service, a fragment, a scope): ignored, not counted
    Malformed, // broken or hostile: dropped and counted, nothing of it shown
};

struct MessengerDatagram {
    std::uint8_t type = 0;           // 0x10 direct unique, 0x11 direct group, 0x12 broadcast
    std::uint32_t sourceAddress = 0; // the address the datagram names as its source (claimed)
    std::uint16_t sourcePort = 0;    // the port it names
    Name sourceName;                 // the NetBIOS name it names as its source (claimed)
    Name destinationName;            // the name it was sent to
    QByteArray from, to, text;       // the three strings, OEM bytes without their NULs
};

struct ParsedDatagram {
    DatagramKind kind = DatagramKind::Malformed;
    std::optional<MessengerDatagram> message; // only for DatagramKind::Messenger
};

// Reads one UDP payload received on port 138.
ParsedDatagram ParseMessengerDatagram(const QByteArray& payload);

// Reads the data of a Messenger mailslot write alone (what a mailslot on Windows hands over):
// the three strings go into `message`, whose other fields stay as they are.
ParsedDatagram ParseMessengerData(const QByteArray& data, MessengerDatagram message = {});

} // namespace pellora::platform::netbios
