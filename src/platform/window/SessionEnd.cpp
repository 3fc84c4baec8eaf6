#include "platform/window/SessionEnd.h"

#include "platform/runtime/Guard.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/Services.h"
#include "platform/support/SessionEnd.h"

#include <QApplication>
#include <QWidget>

#include <cstdio>

namespace pellora::platform {

namespace {

// Once the system has asked the program to stop, nobody may be there to answer a box: what a box
// would say goes to the standard error, and the answer is the one a box closed by the request
// gives (Cancel where there is one, else OK).
class StandardErrorBoxes : public MessageBoxes {
public:
    MsgBoxResult Show(const QString& text, MsgBoxStyle style, const QString&, const QString& detail) override {
        QString line = detail.isEmpty() ? text : text + u' ' + detail;
        line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        std::fprintf(stderr, "pellora: %s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
        return ButtonsOf(style) == MsgBoxStyle::OKOnly ? MsgBoxResult::OK : MsgBoxResult::Cancel;
    }
};

// The program is asked to stop: no box from here on, then every window closes.
void Stop() {
    services().messageBoxes = std::make_shared<StandardErrorBoxes>();
    CloseAllWindows();
}

// The end of the desktop session reaches Qt as a request to quit, which closes the modal
// windows and then the others but gives up at the first one that stays open: the main window
// while one of its handlers runs. A menu left open then would keep that handler waiting, so the
// request closes every window first, menus included, and goes on as Qt's own.
class QuitRequests : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit)
            Guarded(Stop);
        return false;
    }
};

} // namespace

void CloseAllWindows() {
    while (QWidget* menu = QApplication::activePopupWidget()) {
        if (!menu->close())
            break;
    }
    QApplication::closeAllWindows();
}

void EndWithTheSession() {
    static bool watching = false;
    if (watching)
        return;
    WatchStopRequests(Stop);
    QCoreApplication* app = QCoreApplication::instance();
    app->installEventFilter(new QuitRequests(app));
    watching = true;
}

} // namespace pellora::platform
