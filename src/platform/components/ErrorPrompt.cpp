// The prompt after a failed step: the program's message box with the error's description
// beneath the text, titled with the application's title.

#include "platform/components/Components.h"
#include "platform/runtime/App.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/Services.h"

namespace pellora::platform {

namespace {

class SystemErrorPrompt final : public ErrorPrompt {
public:
    MsgBoxResult ShowError(const Error& error, MsgBoxStyle style, int /*reserved*/, const QString& message,
                           bool& logged) override {
        logged = false;
        return messageBoxes().Show(message, style, App().Title, error.description());
    }
};

} // namespace

std::shared_ptr<ErrorPrompt> CreateSystemErrorPrompt() { return std::make_shared<SystemErrorPrompt>(); }
ErrorPrompt& errorPrompt() {
    static const std::shared_ptr<ErrorPrompt> prompt = CreateSystemErrorPrompt();
    return *prompt;
}

} // namespace pellora::platform
