// ksAnsiToOem on Windows: WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, ..., "?") through
// the Qt-free win32::ToOem of Win32Api.cpp. A character the OEM code page lacks becomes '?'.
#include "platform/runtime/Error.h"
#include "platform/support/Support.h"
#include "platform/win32/Win32Api.h"

namespace pellora::platform {

QByteArray SystemAnsiToOem(const QString& text) {
    try {
        const std::string bytes = win32::ToOem(text.toStdWString());
        return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
    } catch (const win32::Failure& failure) {
        throw Error(ErrorNumber::InvalidProcedureCall,
                    QStringLiteral("Can't convert the text to the OEM code page: %1")
                        .arg(QString::fromStdWString(win32::ErrorText(failure.code()))));
    }
}

} // namespace pellora::platform
