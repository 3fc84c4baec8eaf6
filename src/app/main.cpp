// Pellora: sends one text message to the Messenger mailslot of a computer on the local network.

#include "app/modMain.h"
#include "platform/runtime/App.h"
#include "platform/runtime/Guard.h"
#include "ui/Appearance.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    pellora::ui::PrepareApplication(app);

    bool started = false;
    pellora::platform::Guarded([&] { started = pellora::modMain::Main(); });
    if (!started)
        return 1;
    return app.exec();
}
