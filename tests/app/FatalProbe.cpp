// Starts the program, then fails inside a window handler with the real top-level handler in
// place. The test that runs it checks that the process ends at once and stores nothing.

#include "app/modMain.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/Services.h"
#include "platform/window/FormHelper.h"
#include "ui/Appearance.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

namespace {

class PrintingMessageBoxes : public pellora::platform::MessageBoxes {
public:
    pellora::platform::MsgBoxResult Show(const QString& text, pellora::platform::MsgBoxStyle style,
                                         const QString& title, const QString&) override {
        std::printf("MSGBOX %d [%s] %s\n", int(style), qPrintable(title),
                    qPrintable(QString(text).replace("\r\n", "|")));
        std::fflush(stdout);
        return pellora::platform::MsgBoxResult::OK;
    }
};

class FailingFormHelper : public pellora::platform::FormHelper {
public:
    void ShowAbout(QWidget*, const pellora::AppObject&, const QString&, const QPixmap*, const QString&) override {
        throw pellora::Error(pellora::ErrorNumber::InvalidProcedureCall, QStringLiteral("Invalid procedure call"));
    }
    void PressButton(QAbstractButton*) override {}
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    pellora::ui::PrepareApplication(app);
    auto& services = pellora::platform::services();
    services.messageBoxes = std::make_shared<PrintingMessageBoxes>();
    services.formHelper = std::make_shared<FailingFormHelper>();
    if (!pellora::modMain::Main())
        return 3;
    QTimer::singleShot(0, [] {
        pellora::frmMain* form = pellora::modMain::MainForm;
        form->txtFrom->setText(QStringLiteral("typed but never stored"));
        QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : form;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::ShiftModifier);
        QApplication::sendEvent(target, &press);
        std::printf("STILL RUNNING\n");
    });
    app.exec();
    std::printf("EVENT LOOP ENDED\n");
    return 0;
}
