#pragma once

// Delivery of one message to the Messenger mailslot of a computer.

#include <QString>

namespace pellora::sending {

enum class DeliveryResult { Delivered, NotDelivered };

// What became of a delivery, and what the user is to be told of it.
struct DeliveryOutcome {
    DeliveryResult result = DeliveryResult::NotDelivered;
    // Empty when delivered; otherwise the text of the error box the user sees: the path, a
    // blank line, the sentence and, when there is a reason, a line break and the reason.
    QString errorText;
    // Why it was not delivered, one line in plain words ("No computer answered to the name
    // PC7."); empty when delivered or when there is nothing to say.
    QString reason;
};

// Opens "\\computer\mailslot\messngr", converts the texts, writes the packet once and closes
// the mailslot. A computer text that IsUsableComputerName refuses, or that looks like an address
// and is not a canonical one (NonCanonicalAddressReason), is never opened. When the mailslot
// cannot be opened, or the computer text is refused, the error text is the path, a blank line and
// "Can't open mailslot." and nothing is converted; when the write fails or is short it is the
// path, a blank line and "Can't write to mailslot.". Both end as NotDelivered, with the reason
// (the transport's, or why the text was refused) on a line of its own below the sentence. Shows
// nothing itself. Errors of ksAnsiToOem are not caught.
DeliveryOutcome Deliver(const QString& from, const QString& to, const QString& computer, const QString& message);

} // namespace pellora::sending
