#include "sending/Packet.h"

#include "platform/support/Support.h"

namespace pellora::sending {

namespace {

QString WithoutNul(QString text) {
    text.remove(QChar(u'\0'));
    return text;
}

} // namespace

QString MailslotPath(const QString& computer) {
    return QStringLiteral("\\\\") + computer + QStringLiteral("\\mailslot\\messngr");
}

QByteArray BuildMessengerPacket(const QString& from, const QString& to, const QString& message) {
    const QByteArray sender = ksAnsiToOem(WithoutNul(from));
    const QByteArray recipient = ksAnsiToOem(WithoutNul(to));
    const QByteArray text = ksAnsiToOem(WithoutNul(message));
    QByteArray packet;
    packet.reserve(sender.size() + recipient.size() + text.size() + 3);
    packet.append(sender);
    packet.append('\0');
    packet.append(recipient);
    packet.append('\0');
    packet.append(text);
    packet.append('\0');
    return packet;
}

} // namespace pellora::sending
