// A mailslot datagram as it arrives on UDP port 138 of a receiver of the test's own. Binding that
// port needs root (or CAP_NET_BIND_SERVICE): this test is labelled "root", and in CI it must run.
#include "platform/netbios/NetBios.h"
#include "platform/posix/Mailslot.h"
#include "platform/posix/NetBiosResolver.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using namespace pellora::platform;
using namespace pellora::platform::netbios;

namespace {
const QByteArray kMessngr = "\\MAILSLOT\\MESSNGR";
} // namespace

class NetBiosRootTest : public QObject {
    Q_OBJECT

private slots:
    void datagramOf424BytesArrivesAnd425Nothing() {
        // A receiver on the datagram port of a loopback address of its own (127.x.y.z), so
        // that other runs of this test on the machine do not take its port. Binding port 138
        // needs root (or CAP_NET_BIND_SERVICE); without it this test skips, and says so.
        const std::uint32_t address = (127u << 24) | (QRandomGenerator::global()->bounded(1u, 255u) << 16) |
                                      (QRandomGenerator::global()->bounded(0u, 256u) << 8) |
                                      QRandomGenerator::global()->bounded(2u, 255u);
        const int receiver = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        QVERIFY(receiver >= 0);
        const auto closeReceiver = qScopeGuard([receiver] { ::close(receiver); });
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(138);
        local.sin_addr.s_addr = htonl(address);
        // Another process may hold port 138 on every address for a moment (a mailslot write):
        // try for two seconds.
        int bindError = 0;
        QElapsedTimer timer;
        timer.start();
        while (::bind(receiver, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            bindError = errno;
            if (bindError != EADDRINUSE || timer.elapsed() > 2000)
                QSKIP(qPrintable(QStringLiteral("cannot bind UDP port 138 on %1: %2")
                                     .arg(AddressText(address), QString::fromLocal8Bit(std::strerror(bindError)))));
            QTest::qWait(20);
        }

        Target target;
        target.type = kDirectUnique;
        target.name = MakeName(QStringLiteral("PC7"));
        target.destinations.push_back({address, address});
        auto file = OpenResolvedMailslot(target, MakeName(QStringLiteral("LINUXBOX")), kMessngr);
        QVERIFY(file);
        QString reason;
        QVERIFY(file->Write(QByteArray(424, 'x'), &reason));
        QVERIFY(!file->Write(QByteArray(425, 'x'), &reason));

        pollfd p{receiver, POLLIN, 0};
        QCOMPARE(::poll(&p, 1, 2000), 1);
        char buffer[2048];
        const ssize_t n = ::recv(receiver, buffer, sizeof buffer, 0);
        QCOMPARE(n, ssize_t(14 + 68 + 512));
        const QByteArray got(buffer, int(n));
        QCOMPARE(uchar(got[0]), uchar(0x10));
        QCOMPARE(got.mid(4, 4),
                 QByteArray(1, char(address >> 24)) + char(address >> 16) + char(address >> 8) + char(address));
        QCOMPARE(got.mid(8, 2), QByteArray("\x00\x8a", 2));
        QCOMPARE(got.mid(48, 34), EncodeName(MakeName(QStringLiteral("PC7"))));
        QCOMPARE(got.right(424), QByteArray(424, 'x'));
        // Nothing more: the refused write sent nothing.
        QCOMPARE(::poll(&p, 1, 100), 0);
    }
};

PELLORA_TEST_MAIN(NetBiosRootTest)
#include "NetBiosRootTest.moc"
