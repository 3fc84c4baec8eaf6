// ksAnsiToOem of the support library on a Unix system. Kept alone in its file so that a test can put
// its own definition in place at link time (the Delivery test counts the conversions).
#include "platform/posix/CodePages.h"
#include "platform/support/Support.h"

namespace pellora {

QByteArray ksAnsiToOem(const QString& text) {
    return platform::oem::ToCodePage(text, platform::oem::CurrentCodePage());
}

} // namespace pellora
