#include "platform/runtime/Services.h"

#include "platform/runtime/App.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/MsgBox.h"

#include <cstdio>
#include <cstdlib>

namespace pellora::platform {

namespace {

class SystemClock : public Clock {
public:
    QDateTime Now() override {
        QDateTime now = QDateTime::currentDateTime();
        now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
        return now;
    }
};

std::shared_ptr<MessageBoxes> (*systemMessageBoxes)() = nullptr;

[[noreturn]] void TerminateProcess(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

} // namespace

Services& services() {
    static Services instance;
    if (!instance.terminate)
        instance.terminate = TerminateProcess;
    return instance;
}

MessageBoxes& messageBoxes() {
    return EnsureService(services().messageBoxes, [] {
        if (systemMessageBoxes == nullptr)
            throw Error(ErrorNumber::Internal, QStringLiteral("No window to show a message in"));
        return systemMessageBoxes();
    });
}
void SetSystemMessageBoxes(std::shared_ptr<MessageBoxes> (*create)()) { systemMessageBoxes = create; }
Clock& clock() {
    return EnsureService(services().clock, []() -> std::shared_ptr<Clock> { return std::make_shared<SystemClock>(); });
}

void ResetServices() { services() = Services{}; }

MsgBoxResult MsgBox(const QString& text, MsgBoxStyle style) {
    return messageBoxes().Show(text, style, App().Title, QString());
}

} // namespace pellora::platform
