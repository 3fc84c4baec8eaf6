// Pellora Receiver: shows the Messenger messages that reach this computer.

#include "receiver/ReceiverMain.h"

#include <QApplication>
#include <QPixmapCache>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pellora Receiver"));
    // The receiver waits for hours between messages. While Qt's pixmap cache holds anything, a
    // timer flushes it every 30 seconds and wakes the program; with no cache it sleeps in the
    // kernel until a datagram comes. Its window is small and cheap to draw without one.
    QPixmapCache::setCacheLimit(0);
    return pellora::receiver::Run();
}
