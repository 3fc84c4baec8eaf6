#include "sending/Delivery.h"

#include "platform/mailslot/MailslotPath.h"
#include "platform/mailslot/Mailslots.h"
#include "sending/Packet.h"

namespace pellora::sending {

namespace {

// The box's text: the path, a blank line, the sentence, and the reason on a line of its own.
DeliveryOutcome NotDelivered(const QString& path, const QString& sentence, const QString& reason) {
    QString text = path + QStringLiteral("\r\n\r\n") + sentence;
    if (!reason.isEmpty())
        text += QStringLiteral("\r\n") + reason;
    return {DeliveryResult::NotDelivered, text, reason};
}

} // namespace

DeliveryOutcome Deliver(const QString& from, const QString& to, const QString& computer, const QString& message) {
    const QString path = MailslotPath(computer);
    static const QString kCantOpen = QStringLiteral("Can't open mailslot.");
    // A computer text that cannot name a computer, or an address written so that the systems
    // read it in more ways than one, is refused here, on every platform, before the path
    // reaches the system.
    if (!platform::IsUsableComputerName(computer))
        return NotDelivered(path, kCantOpen, QString());
    if (const QString refused = platform::NonCanonicalAddressReason(computer); !refused.isEmpty())
        return NotDelivered(path, kCantOpen, refused);
    QString reason;
    std::unique_ptr<platform::MailslotFile> mailslot = platform::mailslots().Open(path, &reason);
    if (!mailslot)
        return NotDelivered(path, kCantOpen, reason);
    // The mailslot is closed (destroyed) on every way out, an error of the conversion included.
    const QByteArray packet = BuildMessengerPacket(from, to, message);
    reason.clear();
    const bool written = mailslot->Write(packet, &reason);
    mailslot.reset();
    if (!written)
        return NotDelivered(path, QStringLiteral("Can't write to mailslot."), reason);
    return {DeliveryResult::Delivered, QString(), QString()};
}

} // namespace pellora::sending
