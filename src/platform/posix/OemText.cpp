// Text from the OEM code page on a Unix system: the page that goes with the locale, through iconv.
#include "platform/support/OemText.h"
#include "platform/posix/CodePages.h"

namespace pellora::platform {

QString SystemOemToText(const QByteArray& bytes) { return oem::FromCodePage(bytes, oem::CurrentCodePage()); }

} // namespace pellora::platform
