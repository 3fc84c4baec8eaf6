// ksAnsiToOem on Windows: the text in the OEM code page of the system.
#include "platform/Error.h"
#include "platform/Support.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace pellora {

QByteArray ksAnsiToOem(const QString& text) {
    if (text.isEmpty())
        return QByteArray();
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int length = static_cast<int>(text.size());
    // No best-fit mapping: a character the page lacks becomes "?", as on Linux. A system whose
    // OEM code page is UTF-8 (the "Unicode UTF-8" beta option) lacks no character and accepts
    // neither flag nor default character.
    const bool utf8 = GetOEMCP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* defaultChar = utf8 ? nullptr : "?";
    const int needed = WideCharToMultiByte(CP_OEMCP, flags, wide, length, nullptr, 0, defaultChar, nullptr);
    if (needed <= 0)
        throw Error(ErrorNumber::InvalidProcedureCall,
                    QStringLiteral("WideCharToMultiByte failed with error %1.").arg(GetLastError()));
    QByteArray bytes(needed, '\0');
    if (WideCharToMultiByte(CP_OEMCP, flags, wide, length, bytes.data(), needed, defaultChar, nullptr) != needed)
        throw Error(ErrorNumber::InvalidProcedureCall,
                    QStringLiteral("WideCharToMultiByte failed with error %1.").arg(GetLastError()));
    return bytes;
}

} // namespace pellora
