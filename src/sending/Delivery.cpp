#include "sending/Delivery.h"

#include "platform/mailslot/MailslotPath.h"
#include "platform/mailslot/Mailslots.h"
#include "sending/Packet.h"

namespace pellora::sending {

DeliveryOutcome Deliver(const QString& from, const QString& to, const QString& computer, const QString& message) {
    const QString path = MailslotPath(computer);
    // A computer text that cannot name a computer is refused here, on every platform, before
    // the path reaches the system.
    std::unique_ptr<platform::MailslotFile> mailslot;
    if (platform::IsUsableComputerName(computer))
        mailslot = platform::mailslots().Open(path);
    if (!mailslot)
        return {DeliveryResult::NotDelivered, path + QStringLiteral("\r\n\r\nCan't open mailslot.")};
    // The mailslot is closed (destroyed) on every way out, an error of the conversion included.
    const QByteArray packet = BuildMessengerPacket(from, to, message);
    QString reason;
    const bool written = mailslot->Write(packet, &reason);
    mailslot.reset();
    if (!written) {
        QString text = path + QStringLiteral("\r\n\r\nCan't write to mailslot.");
        if (!reason.isEmpty())
            text += QStringLiteral("\r\n") + reason;
        return {DeliveryResult::NotDelivered, text};
    }
    return {DeliveryResult::Delivered, QString()};
}

} // namespace pellora::sending
