// The system's OEM conversion on a Unix system: the code page that goes with the locale, through
// iconv.
#include "platform/posix/CodePages.h"
#include "platform/support/Support.h"

namespace pellora::platform {

QByteArray SystemAnsiToOem(const QString& text) { return oem::ToCodePage(text, oem::CurrentCodePage()); }

} // namespace pellora::platform
