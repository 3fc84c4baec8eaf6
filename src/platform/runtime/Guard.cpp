#include "platform/runtime/Guard.h"

#include "platform/runtime/Error.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/Services.h"

#include <cstdio>
#include <exception>

namespace pellora::platform {

void ReportFatalError(const Error& error) noexcept {
    try {
        const QString text =
            QStringLiteral("Run-time error '%1':\r\n\r\n%2").arg(error.number()).arg(error.description());
        std::fprintf(stderr, "pellora: %s\n", text.toLocal8Bit().replace("\r\n", " ").constData());
        MsgBox(text, MsgBoxStyle::Critical);
    } catch (...) {
        // The report itself failed; the program ends all the same.
    }
    services().terminate(1);
}

void Guarded(const std::function<void()>& handler) noexcept {
    try {
        handler();
    } catch (const Error& e) {
        ReportFatalError(e);
    } catch (const std::exception& e) {
        ReportFatalError(Error(ErrorNumber::Internal, QString::fromLocal8Bit(e.what())));
    } catch (...) {
        ReportFatalError(Error(ErrorNumber::Internal, QStringLiteral("Unknown error")));
    }
}

} // namespace pellora::platform
