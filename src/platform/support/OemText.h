#pragma once

// Bytes in this computer's OEM code page as text: the way back of ksAnsiToOem, for what other
// computers send.

#include <QByteArray>
#include <QString>

namespace pellora::platform {

// `bytes` in the OEM code page of this computer (on a Unix system the one that goes with the
// locale, through the same tables as ksAnsiToOem) as text. Bytes below 0x20 stay the same
// control characters; a byte the page does not define becomes U+FFFD. Throws pellora::Error when
// the system cannot convert from its OEM code page at all (posix/OemText.cpp, win32/OemText.cpp).
QString SystemOemToText(const QByteArray& bytes);

} // namespace pellora::platform
