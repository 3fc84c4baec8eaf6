// Text from the OEM code page on Windows: MultiByteToWideChar(CP_OEMCP), which puts U+FFFD for
// what the page does not define.
#include "platform/support/OemText.h"
#include "platform/runtime/Error.h"

#include <windows.h>

#include <string>

namespace pellora::platform {

QString SystemOemToText(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return QString();
    const int size = static_cast<int>(bytes.size());
    const int length = ::MultiByteToWideChar(CP_OEMCP, 0, bytes.constData(), size, nullptr, 0);
    if (length <= 0)
        throw Error(ErrorNumber::InvalidProcedureCall,
                    QStringLiteral("Can't convert the text from the OEM code page (error %1).").arg(::GetLastError()));
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_OEMCP, 0, bytes.constData(), size, text.data(), length);
    return QString::fromStdWString(text);
}

} // namespace pellora::platform
