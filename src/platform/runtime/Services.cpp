#include "platform/runtime/Services.h"

#include "platform/runtime/App.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/SystemServices.h"

#include <cstdio>
#include <cstdlib>

namespace pellora::platform {

namespace {

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

MessageBoxes& messageBoxes() { return EnsureService(services().messageBoxes, CreateSystemMessageBoxes); }
Clock& clock() { return EnsureService(services().clock, CreateSystemClock); }
PickMenus& pickMenus() {
    static const std::shared_ptr<PickMenus> menus = CreateSystemPickMenus();
    return *menus;
}

void ResetServices() { services() = Services{}; }

MsgBoxResult MsgBox(const QString& text, MsgBoxStyle style) {
    return messageBoxes().Show(text, style, App().Title, QString());
}

} // namespace pellora::platform
