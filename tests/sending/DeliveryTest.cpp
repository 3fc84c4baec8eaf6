// Deliver against the fake mailslot network: what the user is to be told, what leaves.
#include "sending/Delivery.h"
#include "platform/support/Support.h"
#include "sending/Packet.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QtTest>

using namespace pellora;
using namespace pellora::sending;

namespace {
QStringList g_converted;

// The fakes, with an OEM conversion that records every text it converts and converts like code
// page 437 for ASCII.
test::Fakes InstallFakes() {
    test::Fakes fakes = test::InstallFakes();
    platform::services().ansiToOem = [](const QString& text) {
        g_converted.append(text);
        return text.toLatin1();
    };
    return fakes;
}
} // namespace

class DeliveryTest : public QObject {
    Q_OBJECT

private slots:
    void init() { g_converted.clear(); }

    void delivers() {
        auto fakes = InstallFakes();
        const DeliveryOutcome outcome =
            Deliver(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        QCOMPARE(outcome.result, DeliveryResult::Delivered);
        QVERIFY(outcome.errorText.isEmpty());
        QCOMPARE(fakes.mailslots->opened, QStringList{QStringLiteral("\\\\PC7\\mailslot\\messngr")});
        QCOMPARE(fakes.mailslots->delivered.size(), 1);
        QCOMPARE(fakes.mailslots->delivered.first(), QByteArray("Ann\0Bob\0Hi\0", 11));
        QCOMPARE(fakes.mailslots->openFiles, 0);
        QVERIFY(fakes.boxes->shown.isEmpty());
        // Sender, recipient and message, in this order.
        QCOMPARE(g_converted, (QStringList{QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("Hi")}));
    }

    // A usable computer text goes into the path exactly as typed; one that could name something
    // else than a computer (a share, a WebDAV address, a device) never reaches the mailslot
    // open: the user is told the path as typed and "Can't open mailslot.", the same on every
    // platform.
    void computerTextGoesIntoThePathAsTyped_data() {
        QTest::addColumn<QString>("computer");
        QTest::addColumn<bool>("usable");
        QTest::newRow("blanks") << QStringLiteral(" my pc ") << true;
        QTest::newRow("dotted") << QStringLiteral("pc7.lan") << true;
        QTest::newRow("non-ASCII") << QStringLiteral("Ünï") << true;
        QTest::newRow("workgroup") << QStringLiteral("*") << true;
        QTest::newRow("address") << QStringLiteral("10.0.0.7") << true;
        QTest::newRow("backslash") << QStringLiteral(" my\\pc ") << false;
        QTest::newRow("share") << QStringLiteral("srv\\share\\x") << false;
        QTest::newRow("slash") << QStringLiteral("srv/share") << false;
        QTest::newRow("colon") << QStringLiteral("pc7:445") << false;
        QTest::newRow("WebDAV") << QStringLiteral("host@SSL@443") << false;
        QTest::newRow("question mark") << QStringLiteral("?") << false;
        QTest::newRow("device prefix") << QStringLiteral("?\\UNC\\srv\\share") << false;
        QTest::newRow("tab") << QStringLiteral("pc\t7") << false;
        QTest::newRow("line break") << QStringLiteral("pc7\r\n") << false;
        QTest::newRow("U+0000") << QStringLiteral("pc") + QChar(u'\0') + QStringLiteral("7") << false;
        QTest::newRow("DEL") << QStringLiteral("pc\x7f") << false;
        QTest::newRow("C1 control") << QStringLiteral("pc") + QChar(0x85) << false;
        QTest::newRow("star inside") << QStringLiteral("PC*") << false;
        QTest::newRow("two stars") << QStringLiteral("**") << false;
    }
    void computerTextGoesIntoThePathAsTyped() {
        QFETCH(QString, computer);
        QFETCH(bool, usable);
        auto fakes = InstallFakes();
        const QString path = QStringLiteral("\\\\") + computer + QStringLiteral("\\mailslot\\messngr");
        QCOMPARE(MailslotPath(computer), path);
        const DeliveryOutcome outcome =
            Deliver(QStringLiteral("A"), QStringLiteral("B"), computer, QStringLiteral("m"));
        QCOMPARE(outcome.result, usable ? DeliveryResult::Delivered : DeliveryResult::NotDelivered);
        QVERIFY(!g_converted.contains(computer));
        QVERIFY(fakes.boxes->shown.isEmpty()); // the window tells the user
        if (usable) {
            QCOMPARE(fakes.mailslots->opened, QStringList{path});
            QVERIFY(outcome.errorText.isEmpty());
        } else {
            QCOMPARE(fakes.mailslots->opened, QStringList());
            QCOMPARE(outcome.errorText, path + QStringLiteral("\r\n\r\nCan't open mailslot."));
            QVERIFY(g_converted.isEmpty());
        }
    }

    void openFails() {
        auto fakes = InstallFakes();
        fakes.mailslots->failOpen = true;
        const DeliveryOutcome outcome =
            Deliver(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        QCOMPARE(outcome.result, DeliveryResult::NotDelivered);
        QCOMPARE(outcome.errorText, QStringLiteral("\\\\PC7\\mailslot\\messngr\r\n\r\nCan't open mailslot."));
        QVERIFY(fakes.mailslots->delivered.isEmpty());
        QCOMPARE(fakes.mailslots->openFiles, 0);
        QVERIFY2(g_converted.isEmpty(), "nothing is converted when the open fails");
    }

    void writeFails() {
        auto fakes = InstallFakes();
        fakes.mailslots->failWrite = true;
        fakes.mailslots->writeFailureReason = QStringLiteral("The message has 425 bytes; at most 424 fit.");
        const DeliveryOutcome outcome =
            Deliver(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        QCOMPARE(outcome.result, DeliveryResult::NotDelivered);
        QCOMPARE(outcome.errorText, QStringLiteral("\\\\PC7\\mailslot\\messngr\r\n\r\nCan't write to mailslot.\r\n"
                                                   "The message has 425 bytes; at most 424 fit."));
        QCOMPARE(fakes.mailslots->openFiles, 0);
    }

    void writeFailsWithoutReason() {
        auto fakes = InstallFakes();
        fakes.mailslots->failWrite = true;
        const DeliveryOutcome outcome =
            Deliver(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"), QStringLiteral("Hi"));
        QCOMPARE(outcome.result, DeliveryResult::NotDelivered);
        QCOMPARE(outcome.errorText, QStringLiteral("\\\\PC7\\mailslot\\messngr\r\n\r\nCan't write to mailslot."));
        QCOMPARE(fakes.mailslots->openFiles, 0);
    }
};

PELLORA_TEST_MAIN(DeliveryTest)
#include "DeliveryTest.moc"
