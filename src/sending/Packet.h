#pragma once

// The Messenger mailslot path and packet.

#include <QByteArray>
#include <QString>

namespace pellora::sending {

// "\\" + computer + "\mailslot\messngr", the computer text exactly as typed.
QString MailslotPath(const QString& computer);

// The MessengerPacket: sender, 0x00, recipient, 0x00, message, 0x00, each text in the OEM code
// page through ksAnsiToOem (called for the sender, the recipient and the message, in this
// order). A U+0000 inside a text is dropped first, so that the packet always holds exactly
// three 0x00 bytes.
QByteArray BuildMessengerPacket(const QString& from, const QString& to, const QString& message);

} // namespace pellora::sending
