// Pellora Receiver: shows the Messenger messages that reach this computer.

#include "receiver/ReceiverMain.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pellora Receiver"));
    return pellora::receiver::Run();
}
