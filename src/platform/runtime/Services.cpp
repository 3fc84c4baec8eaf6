#include "platform/runtime/Services.h"

#include "platform/runtime/App.h"
#include "platform/runtime/SystemServices.h"

#include <cstdio>
#include <cstdlib>

namespace pellora::platform {

namespace {

template <class T, class Factory> T& Ensure(std::shared_ptr<T>& slot, Factory create) {
    if (!slot)
        slot = create();
    return *slot;
}

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

MessageBoxes& messageBoxes() { return Ensure(services().messageBoxes, CreateSystemMessageBoxes); }
Mailslots& mailslots() { return Ensure(services().mailslots, CreateSystemMailslots); }
Shell& shell() { return Ensure(services().shell, CreateSystemShell); }
Clock& clock() { return Ensure(services().clock, CreateSystemClock); }
TextFileWriter& textFileWriter() { return Ensure(services().textFileWriter, CreateSystemTextFileWriter); }
ErrorPrompt& errorPrompt() { return Ensure(services().errorPrompt, CreateSystemErrorPrompt); }
FormHelper& formHelper() { return Ensure(services().formHelper, CreateSystemFormHelper); }
PickMenus& pickMenus() { return Ensure(services().pickMenus, CreateSystemPickMenus); }

void ResetServices() { services() = Services{}; }

int MsgBox(const QString& text, int style) { return messageBoxes().Show(text, style, App().Title, QString()); }

} // namespace pellora::platform
