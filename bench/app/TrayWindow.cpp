// The baseline of the receiver's memory figure: an empty Qt Widgets window with a tray icon,
// built with the same compiler, flags and Qt as the receiver. Like the receiver, it makes its
// tray icon only where the desktop has a system tray, and it is as large as the receiver's
// window so that both paint the same area.
#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::darkBlue);
    QApplication::setWindowIcon(QIcon(pixmap));
    QWidget window;
    window.setWindowTitle(QStringLiteral("Tray"));
    window.resize(640, 480);
    QSystemTrayIcon* tray = nullptr;
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray = new QSystemTrayIcon(QApplication::windowIcon(), &window);
        tray->setToolTip(QStringLiteral("Tray"));
        tray->show();
    }
    window.show();
    return app.exec();
}
