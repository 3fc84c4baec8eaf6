#include "platform/window/SessionEnd.h"

#include "platform/runtime/Guard.h"
#include "platform/support/SessionEnd.h"

#include <QApplication>
#include <QWidget>

namespace pellora::platform {

namespace {

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
            Guarded(CloseAllWindows);
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
    WatchStopRequests(CloseAllWindows);
    QCoreApplication* app = QCoreApplication::instance();
    app->installEventFilter(new QuitRequests(app));
    watching = true;
}

} // namespace pellora::platform
