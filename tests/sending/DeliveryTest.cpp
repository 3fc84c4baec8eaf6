// Deliver against the fake mailslot network: what the user is told, what leaves.
#include "sending/Delivery.h"
#include "platform/Support.h"
#include "sending/Packet.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QtTest>

using namespace pellora;
using namespace pellora::sending;

// This test's own ksAnsiToOem, put in place at link time (the real one lives alone in its
// object file of the core library): it records every call and converts like code page 437
// for ASCII.
namespace {
QStringList g_converted;
}
namespace pellora {
QByteArray ksAnsiToOem(const QString& text) {
    g_converted.append(text);
    return text.toLatin1();
}
} // namespace pellora

class DeliveryTest : public QObject {
    Q_OBJECT

private slots:
    void init() { g_converted.clear(); }

    void delivers() {
        auto fakes = test::InstallFakes();
        QCOMPARE(Deliver(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi")),
                 DeliveryResult::Delivered);
        QCOMPARE(fakes.mailslots->opened, QStringList{QStringLiteral("\\\\PC7\\mailslot\\messngr")});
        QCOMPARE(fakes.mailslots->delivered.size(), 1);
        QCOMPARE(fakes.mailslots->delivered.first(), QByteArray("Ann\0Bob\0Hi\0", 11));
        QCOMPARE(fakes.mailslots->openFiles, 0);
        QVERIFY(fakes.boxes->shown.isEmpty());
        // Sender, recipient and message, in this order.
        QCOMPARE(g_converted, (QStringList{QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("Hi")}));
    }

    void computerTextGoesIntoThePathAsTyped() {
        auto fakes = test::InstallFakes();
        QCOMPARE(Deliver(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral(" my\\pc "), QStringLiteral("m")),
                 DeliveryResult::Delivered);
        QCOMPARE(fakes.mailslots->opened, QStringList{QStringLiteral("\\\\ my\\pc \\mailslot\\messngr")});
        QVERIFY(!g_converted.contains(QStringLiteral(" my\\pc ")));
    }

    void openFails() {
        auto fakes = test::InstallFakes();
        fakes.mailslots->failOpen = true;
        QCOMPARE(Deliver(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi")),
                 DeliveryResult::NotDelivered);
        QCOMPARE(fakes.boxes->shown.size(), 1);
        QCOMPARE(fakes.boxes->shown.first().text,
                 QStringLiteral("\\\\PC7\\mailslot\\messngr\r\n\r\nCan't open mailslot."));
        QCOMPARE(fakes.boxes->shown.first().style, 16);
        QVERIFY(fakes.mailslots->delivered.isEmpty());
        QCOMPARE(fakes.mailslots->openFiles, 0);
        QVERIFY2(g_converted.isEmpty(), "nothing is converted when the open fails");
    }

    void writeFails() {
        auto fakes = test::InstallFakes();
        fakes.mailslots->failWrite = true;
        fakes.mailslots->writeFailureReason = QStringLiteral("The message has 425 bytes; at most 424 fit.");
        QCOMPARE(Deliver(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi")),
                 DeliveryResult::NotDelivered);
        QCOMPARE(fakes.boxes->shown.size(), 1);
        QCOMPARE(fakes.boxes->shown.first().text,
                 QStringLiteral("\\\\PC7\\mailslot\\messngr\r\n\r\nCan't write to mailslot.\r\n"
                                "The message has 425 bytes; at most 424 fit."));
        QCOMPARE(fakes.boxes->shown.first().style, 16);
        QCOMPARE(fakes.mailslots->openFiles, 0);
    }

    void writeFailsWithoutReason() {
        auto fakes = test::InstallFakes();
        fakes.mailslots->failWrite = true;
        QCOMPARE(Deliver(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi")),
                 DeliveryResult::NotDelivered);
        QCOMPARE(fakes.boxes->shown.size(), 1);
        QCOMPARE(fakes.boxes->shown.first().text,
                 QStringLiteral("\\\\PC7\\mailslot\\messngr\r\n\r\nCan't write to mailslot."));
        QCOMPARE(fakes.mailslots->openFiles, 0);
    }
};

PELLORA_TEST_MAIN(DeliveryTest)
#include "DeliveryTest.moc"
