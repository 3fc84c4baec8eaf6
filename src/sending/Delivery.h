#pragma once

// Delivery of one message to the Messenger mailslot of a computer.

#include <QString>

namespace pellora::sending {

enum class DeliveryResult { Delivered, NotDelivered };

// Opens "\\computer\mailslot\messngr", converts the texts, writes the packet once and closes
// the mailslot. A computer text that IsUsableComputerName refuses is never opened. When the
// mailslot cannot be opened, or the computer text is refused, the user sees the path, a blank
// line and "Can't open mailslot." and nothing is converted; when the write fails or is short
// the user sees the path, a blank line and "Can't write to mailslot." (with the transport's
// reason on a line of its own). Both end as NotDelivered. Errors of ksAnsiToOem are not caught.
DeliveryResult Deliver(const QString& from, const QString& to, const QString& computer, const QString& message);

} // namespace pellora::sending
