// Test driver of the Linux mailslot transport for the network test bed: opens
// "\\<computer>\mailslot\messngr" with the real transport, writes one Messenger packet and
// reports what happened on stdout, one line per step:
//   open ok <milliseconds> <destination name> at <address> (<how it was found>)
//   open failed <milliseconds> <reason>
//   write ok <bytes> | write failed <reason>
// Exit status: 0 delivered, 1 the open failed, 2 the write failed, 64 bad arguments.
//
// pellora_mailslot_driver --computer PC7 [--from Ann] [--to Bob] [--message Hi]
//                         [--message-bytes N] [--smb-conf PATH]
#include "platform/posix/Mailslot.h"
#include "sending/Packet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

using namespace pellora;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString computer, from = QStringLiteral("Ann"), to = QStringLiteral("Bob"), message = QStringLiteral("Hi");
    platform::NetBiosMailslotOptions options;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == u"--computer" && hasValue)
            computer = args[++i];
        else if (arg == u"--from" && hasValue)
            from = args[++i];
        else if (arg == u"--to" && hasValue)
            to = args[++i];
        else if (arg == u"--message" && hasValue)
            message = args[++i];
        else if (arg == u"--message-bytes" && hasValue)
            message = QString(args[++i].toInt(), u'x');
        else if (arg == u"--smb-conf" && hasValue)
            options.smbConfPath = args[++i];
        else {
            std::fprintf(stderr,
                         "usage: %s --computer NAME [--from A] [--to B] [--message M] [--message-bytes N] "
                         "[--smb-conf PATH]\n",
                         argv[0]);
            return 64;
        }
    }
    if (computer.isNull()) {
        std::fprintf(stderr, "--computer is required\n");
        return 64;
    }

    platform::NetBiosMailslots mailslots(options);
    QElapsedTimer timer;
    timer.start();
    auto file = mailslots.Open(sending::MailslotPath(computer));
    const qint64 openMs = timer.elapsed();
    if (!file) {
        std::printf("open failed %lld %s\n", static_cast<long long>(openMs), qPrintable(mailslots.lastError()));
        return 1;
    }
    std::printf("open ok %lld %s\n", static_cast<long long>(openMs), qPrintable(mailslots.lastResolution()));
    const QByteArray packet = sending::BuildMessengerPacket(from, to, message);
    QString reason;
    if (!file->Write(packet, &reason)) {
        std::printf("write failed %s\n", qPrintable(reason));
        return 2;
    }
    std::printf("write ok %lld\n", static_cast<long long>(packet.size()));
    return 0;
}
