// The receiver's window: what a received datagram shows, newest first, as plain text, and what
// Reply would start.
#include "receiver/ReceiverWindow.h"
#include "receiving/ReceivedFolder.h"
#include "support/TestSupport.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace pellora;

namespace {

QByteArray ReferenceDatagram() {
    return pellora::test::ReadHexDump(QStringLiteral(PELLORA_REFERENCE_DIR "/mailslot-datagram-ann-bob-hi.txt"));
}

const QDateTime kNow(QDate(2026, 12, 7), QTime(12, 42, 54));

} // namespace

class ReceiverWindowTest : public QObject {
    Q_OBJECT

private slots:
    void showsMessagesNewestFirstAsPlainText() {
        QTemporaryDir data;
        const QString folder = receiving::ReceivedFolderPath(data.path());
        receiving::PrepareReceivedFolder(folder);
        receiving::Receiver receiver(folder, {}, QStringLiteral("PC7"));
        receiver::WindowOptions options;
        options.listening = QStringList{QStringLiteral("10.0.0.2:138")};
        receiver::ReceiverWindow window(receiver, options);
        window.show();
        auto* list = window.findChild<QListWidget*>(QStringLiteral("messages"));
        auto* view = window.findChild<QPlainTextEdit*>(QStringLiteral("message"));
        auto* status = window.findChild<QLabel*>(QStringLiteral("status"));
        QVERIFY(list && view && status);
        QCOMPARE(list->count(), 0);

        receiver.Take(ReferenceDatagram(), 0x0A000001, false, kNow);
        // "Hi" becomes "<b" + ESC: a text a rich-text view would take as markup.
        QByteArray markup = ReferenceDatagram();
        markup.replace(0xB2, 2, "<\x1B");
        receiver.Take(markup, 0x0A000005, false, kNow.addSecs(1));
        QTRY_COMPARE(list->count(), 2);
        QCOMPARE(list->currentRow(), 0);
        QVERIFY2(
            list->item(0)->text().endsWith(QStringLiteral("Ann → Bob  (LINUXBOX at 10.0.0.5 (claims 10.0.0.1))  <␛")),
            qPrintable(list->item(0)->text()));
        QVERIFY2(list->item(1)->text().endsWith(QStringLiteral("Ann → Bob  (LINUXBOX at 10.0.0.1)  Hi")),
                 qPrintable(list->item(1)->text()));
        const QString shown = view->toPlainText();
        QVERIFY2(shown.startsWith(QStringLiteral("From:     Ann\nTo:       Bob\nComputer: LINUXBOX at 10.0.0.5 (claims "
                                                 "10.0.0.1)\nReceived: ")),
                 qPrintable(shown));
        QVERIFY2(shown.endsWith(QStringLiteral("\n\n<␛")), qPrintable(shown));
        // Read as the accessibility tree gives it to a screen reader.
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(view);
        QVERIFY(accessible);
        QVERIFY(accessible->text(QAccessible::Value).endsWith(QStringLiteral("<␛")));

        QCOMPARE(window.ReplyArguments(0),
                 (QStringList{QStringLiteral("--from"), QStringLiteral("Bob"), QStringLiteral("--to"),
                              QStringLiteral("Ann"), QStringLiteral("--computer"), QStringLiteral("10.0.0.5")}));
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("reply"))->isEnabled());
        QVERIFY2(status->text().contains(QStringLiteral("2 messages kept (at most 1000)")), qPrintable(status->text()));

        receiver.Take(ReferenceDatagram().left(100), 0x0A000005, false, kNow);
        QTRY_VERIFY2(status->text().contains(QStringLiteral("1 malformed datagrams ignored.")),
                     qPrintable(status->text()));
        QCOMPARE(list->count(), 2);
    }

    void listsAComputerNotKnownInOneParenthesis() {
        receiving::ReceivedMessage message;
        message.received = kNow;
        message.from = QStringLiteral("Ann");
        message.to = QStringLiteral("Bob");
        message.computer = QStringLiteral("(not known: the system's mailslot does not say)");
        message.text = QStringLiteral("Hi");
        const QString line = receiver::ListLine(message);
        QVERIFY2(line.endsWith(QStringLiteral("Ann → Bob  (not known: the system's mailslot does not say)  Hi")),
                 qPrintable(line));
    }

    void saysHowManyWereDropped() {
        QTemporaryDir data;
        const QString folder = receiving::ReceivedFolderPath(data.path());
        receiving::PrepareReceivedFolder(folder);
        receiving::Receiver receiver(folder, {2, 1 << 20}, QStringLiteral("PC7"));
        receiver::ReceiverWindow window(receiver, {});
        for (int i = 0; i < 5; ++i)
            receiver.Take(ReferenceDatagram(), 0x0A000001, false, kNow.addSecs(i));
        auto* list = window.findChild<QListWidget*>(QStringLiteral("messages"));
        auto* status = window.findChild<QLabel*>(QStringLiteral("status"));
        QTRY_COMPARE(list->count(), 2);
        QVERIFY2(status->text().contains(QStringLiteral("3 older messages dropped to stay within the bounds.")),
                 qPrintable(status->text()));
    }
};

PELLORA_TEST_MAIN(ReceiverWindowTest)
#include "ReceiverWindowTest.moc"
