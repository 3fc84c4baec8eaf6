// Pellora: sends one text message to the Messenger mailslot of a computer on the local network.

#include "app/CommandLine.h"
#include "app/modMain.h"
#include "platform/runtime/App.h"
#include "platform/runtime/Guard.h"
#include "platform/runtime/Services.h"
#include "platform/support/Console.h"
#include "ui/Appearance.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QClipboard>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Once the main window has unloaded, its settings and lists are written, synced and closed, as
// is every local copy, and the program ends (Overview). What Qt and the libraries would still do
// (destroy the window, leave the event loop, tear down the application and the static objects)
// changes no file and no outcome: the system closes the display connection and the files. So
// the process ends there, with the status the event loop would have given. Two things keep the
// ordinary end: text the program put on the clipboard, which Qt hands to the desktop's clipboard
// manager as it tears down, and a sanitizer's build, whose checks run at that teardown.
void EndAfterTheLastSave() {
    if (kSanitized)
        return;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->ownsClipboard() || clipboard->ownsSelection())
        return;
    pellora::platform::services().terminate(0);
}

} // namespace

int main(int argc, char** argv) {
    using namespace pellora;
    // The arguments decide between the command line (no display, a QCoreApplication) and the
    // window. They are all the program's own: Qt is handed none of them.
    commandLine::Request request;
    if (const std::optional<QStringList> arguments = platform::ProgramArguments(argc, argv))
        request = commandLine::Parse(*arguments);
    else
        request.error = QStringLiteral("pellora: an argument is not UTF-8 text");
    if (request.mode != commandLine::Mode::Window || !request.error.isEmpty())
        return commandLine::Run(request, argc, argv);

    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    ui::PrepareApplication(app);

    const StartTexts texts{request.from, request.to, request.computer, request.message};
    bool started = false;
    platform::Guarded([&] { started = modMain::Main(texts); });
    if (!started)
        return 1;
    QObject::connect(modMain::MainForm, &frmMain::Unloaded, &EndAfterTheLastSave);
    return app.exec();
}
