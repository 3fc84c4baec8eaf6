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
        QVERIFY(outcome.reason.isEmpty());
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

    // Every failure of the open says why on a line of its own below "Can't open mailslot.": the
    // transport's reason, or why the computer text was refused before any open.
    void openFails_data() {
        QTest::addColumn<QString>("computer");
        QTest::addColumn<QString>("transportReason"); // what the mailslot service answers
        QTest::addColumn<QString>("reason");          // the line the user reads
        QTest::addColumn<bool>("opened");
        QTest::newRow("no reason") << QStringLiteral("PC7") << QString() << QString() << true;
        QTest::newRow("no answer") << QStringLiteral("PC7") << QStringLiteral("No computer answered to the name PC7.")
                                   << QStringLiteral("No computer answered to the name PC7.") << true;
        QTest::newRow("two computers") << QStringLiteral("PC7")
                                       << QStringLiteral("Two computers answer to the name PC7: 10.0.0.7 and 10.0.0.9.")
                                       << QStringLiteral("Two computers answer to the name PC7: 10.0.0.7 and 10.0.0.9.")
                                       << true;
        QTest::newRow("does not resolve")
            << QStringLiteral("pc7.example") << QStringLiteral("The name pc7.example does not resolve.")
            << QStringLiteral("The name pc7.example does not resolve.") << true;
        QTest::newRow("group name")
            << QStringLiteral("PC7")
            << QStringLiteral("PC7 is a group name; to send to every computer of the workgroup use *.")
            << QStringLiteral("PC7 is a group name; to send to every computer of the workgroup use *.") << true;
        QTest::newRow("remote mailslots off (Windows)")
            << QStringLiteral("PC7")
            << QStringLiteral("Remote mailslots are turned off on this computer. An administrator turns them on "
                              "with the policy \"Enable remote mailslots\" (Computer Configuration > "
                              "Administrative Templates > Network > Lanman Workstation); the receiving computer "
                              "needs its own policy \"Enable remote mailslots\" on too (Lanman Server).")
            << QStringLiteral("Remote mailslots are turned off on this computer. An administrator turns them on "
                              "with the policy \"Enable remote mailslots\" (Computer Configuration > "
                              "Administrative Templates > Network > Lanman Workstation); the receiving computer "
                              "needs its own policy \"Enable remote mailslots\" on too (Lanman Server).")
            << true;
        // Read as octal (10.77.0.8) or as a short form by the systems' resolvers: refused here,
        // whatever the transport would do.
        QTest::newRow("zero-padded address")
            << QStringLiteral("10.77.000.010") << QString()
            << QStringLiteral("10.77.000.010 is not an address this program takes: write an address as four "
                              "numbers from 0 to 255 without leading zeros, such as 10.0.0.7.")
            << false;
        QTest::newRow("short address") << QStringLiteral("10.77.8") << QString()
                                       << QStringLiteral("10.77.8 is not an address this program takes: write an "
                                                         "address as four numbers from 0 to 255 without leading "
                                                         "zeros, such as 10.0.0.7.")
                                       << false;
    }
    void openFails() {
        QFETCH(QString, computer);
        QFETCH(QString, transportReason);
        QFETCH(QString, reason);
        QFETCH(bool, opened);
        auto fakes = InstallFakes();
        fakes.mailslots->failOpen = true;
        fakes.mailslots->openFailureReason = transportReason;
        const DeliveryOutcome outcome =
            Deliver(QStringLiteral("Ann"), QStringLiteral("Bob"), computer, QStringLiteral("Hi"));
        QCOMPARE(outcome.result, DeliveryResult::NotDelivered);
        const QString path = QStringLiteral("\\\\") + computer + QStringLiteral("\\mailslot\\messngr");
        QCOMPARE(outcome.errorText, path + QStringLiteral("\r\n\r\nCan't open mailslot.") +
                                        (reason.isEmpty() ? QString() : QStringLiteral("\r\n") + reason));
        QCOMPARE(outcome.reason, reason);
        QCOMPARE(fakes.mailslots->opened, opened ? QStringList{path} : QStringList());
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
        QCOMPARE(outcome.reason, QStringLiteral("The message has 425 bytes; at most 424 fit."));
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
