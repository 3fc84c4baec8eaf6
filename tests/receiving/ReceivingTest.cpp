// The receiving core: a datagram becomes a kept message and its file; the bounds; reading back.
#include "receiving/MessageStore.h"
#include "receiving/ReceivedFolder.h"
#include "receiving/ReceivedMessage.h"
#include "receiving/Receiver.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace pellora::receiving;
using pellora::test::ReadFile;

namespace {

QByteArray ReferenceDatagram() {
    return pellora::test::ReadHexDump(QStringLiteral(PELLORA_REFERENCE_DIR "/mailslot-datagram-ann-bob-hi.txt"));
}

// The reference datagram with another sender of the same length (3 bytes) at 0xAA.
QByteArray WithSender(const QByteArray& sender) {
    QByteArray datagram = ReferenceDatagram();
    datagram.replace(0xAA, 3, sender);
    return datagram;
}

QStringList Files(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

const QDateTime kNow(QDate(2026, 12, 7), QTime(12, 42, 54));
constexpr std::uint32_t kSource = 0x0A000001; // 10.0.0.1, as the reference claims

ReceivedMessage Message(const QString& text) {
    ReceivedMessage m;
    m.received = kNow;
    m.text = text;
    return m;
}

} // namespace

class ReceivingTest : public QObject {
    Q_OBJECT

    QTemporaryDir data_;
    QString folder_;

private slots:
    void init() {
        qputenv("LC_ALL", "C");
        folder_ = ReceivedFolderPath(data_.path() + QStringLiteral("/run") + QString::number(++run_));
    }

    void visibleControls_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("keepLineBreaks");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QStringLiteral("Hi there") << false << QStringLiteral("Hi there");
        QTest::newRow("escape and bell") << QStringLiteral("a\x1B[1mb\x07") << false << QStringLiteral("a␛[1mb␇");
        QTest::newRow("line breaks in a name") << QStringLiteral("a\r\nb\tc") << false << QStringLiteral("a␍␊b␉c");
        QTest::newRow("line breaks in a text") << QStringLiteral("a\r\nb\tc") << true << QStringLiteral("a\r\nb\tc");
        QTest::newRow("NUL and DEL") << QString::fromUtf16(u"a\u0000b\u007F", 4) << true << QStringLiteral("a␀b␡");
        QTest::newRow("C1") << QString::fromUtf16(u"a\u0085b") << true << QStringLiteral("a\uFFFDb");
    }
    void visibleControls() {
        QFETCH(QString, text);
        QFETCH(bool, keepLineBreaks);
        QTEST(VisibleControls(text, keepLineBreaks), "shown");
    }

    void thisComputerName_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("name");
        QTest::newRow("short") << QStringLiteral("pc7") << QStringLiteral("PC7");
        QTest::newRow("first label") << QStringLiteral("pc7.example.org") << QStringLiteral("PC7");
        QTest::newRow("cut to 15") << QStringLiteral("workstation-number-12") << QStringLiteral("WORKSTATION-NUM");
    }
    void thisComputerName() {
        QFETCH(QString, host);
        QTEST(ThisComputerName(host), "name");
    }

    void computerText_data() {
        QTest::addColumn<QString>("claimed");
        QTest::addColumn<uint>("claimedAddress");
        QTest::addColumn<uint>("realAddress");
        QTest::addColumn<bool>("local");
        QTest::addColumn<QString>("text");
        QTest::newRow("as claimed") << "LINUXBOX" << 0x0A000001u << 0x0A000001u << false
                                    << QStringLiteral("LINUXBOX at 10.0.0.1");
        QTest::newRow("another address claimed") << "LINUXBOX" << 0x0A000001u << 0xC0A80105u << false
                                                 << QStringLiteral("LINUXBOX at 192.168.1.5 (claims 10.0.0.1)");
        QTest::newRow("claims this computer") << "PC7" << 0x0A000002u << 0x0A000009u << false
                                              << QStringLiteral("PC7 at 10.0.0.9 (claims 10.0.0.2) (not this "
                                                                "computer, though it uses its name)");
        QTest::newRow("this computer") << "PC7" << 0x7F000001u << 0x7F000001u << true
                                       << QStringLiteral("PC7 at 127.0.0.1");
        QTest::newRow("no name") << "" << 0x0A000001u << 0x0A000001u << false
                                 << QStringLiteral("(no name) at 10.0.0.1");
    }
    void computerText() {
        QFETCH(QString, claimed);
        QFETCH(uint, claimedAddress);
        QFETCH(uint, realAddress);
        QFETCH(bool, local);
        QTEST(ComputerText(claimed, claimedAddress, realAddress, QStringLiteral("PC7"), local), "text");
    }

    void replyComputer_data() {
        QTest::addColumn<QString>("computer");
        QTest::addColumn<QString>("reply");
        QTest::newRow("as claimed") << "LINUXBOX at 10.0.0.1"
                                    << "10.0.0.1";
        QTest::newRow("claims another address") << "LINUXBOX at 192.168.1.5 (claims 10.0.0.1)"
                                                << "192.168.1.5";
        QTest::newRow("claims this computer")
            << "PC7 at 10.0.0.9 (claims 10.0.0.2) (not this computer, though it uses its name)"
            << "10.0.0.9";
        QTest::newRow("a name that looks like an address") << "X at 1.2.3.4 at 10.0.0.5"
                                                           << "10.0.0.5";
        QTest::newRow("a name that ends like one, from a file") << "X at 1.2.3.4"
                                                                << "1.2.3.4";
        QTest::newRow("not known") << "(not known: the system's mailslot does not say)"
                                   << "";
    }
    void replyComputer() {
        QFETCH(QString, computer);
        QTEST(ReplyComputer(computer), "reply");
    }

    void broadcastDatagrams_data() {
        QTest::addColumn<QByteArray>("destination");
        QTest::addColumn<bool>("broadcast");
        QTest::addColumn<int>("kept");
        QTest::newRow("this computer, unicast") << QByteArray("PC7") << false << 1;
        QTest::newRow("this computer, broadcast") << QByteArray("PC7") << true << 1;
        QTest::newRow("this computer in lower case") << QByteArray("pc7") << true << 1;
        QTest::newRow("the workgroup") << QByteArray("WORKGROUP") << true << 1;
        QTest::newRow("everyone") << QByteArray("*") << true << 1;
        QTest::newRow("another computer, broadcast") << QByteArray("PC8") << true << 0;
        QTest::newRow("the name in Samba") << QByteArray("SAMBAPC") << true << 1;
        QTest::newRow("another computer, to our address") << QByteArray("PC8") << false << 1;
    }
    void broadcastDatagrams() {
        QFETCH(QByteArray, destination);
        QFETCH(bool, broadcast);
        PrepareReceivedFolder(folder_);
        Receiver receiver(folder_, {}, QStringLiteral("PC7"));
        receiver.SetWorkgroup(QStringLiteral("WORKGROUP"));
        receiver.SetSambaName(QStringLiteral("SambaPC"));
        // The reference's destination name is PC7<00> (first-level encoded at 0x30).
        QByteArray datagram = ReferenceDatagram();
        QByteArray encoded;
        const QByteArray padded = destination.leftJustified(15, ' ') + '\0';
        for (const char c : padded) {
            encoded.append(char('A' + ((static_cast<unsigned char>(c) >> 4) & 0x0F)));
            encoded.append(char('A' + (static_cast<unsigned char>(c) & 0x0F)));
        }
        datagram.replace(0x31, 32, encoded);
        receiver.Take(datagram, kSource, false, kNow, broadcast);
        QTEST(int(receiver.store().messages().size()), "kept");
        QCOMPARE(receiver.malformed(), qint64(0));
    }

    void mailslotDataAlone() {
        // What the Windows mailslot hands over: the three strings, nothing of where they came from.
        PrepareReceivedFolder(folder_);
        Receiver receiver(folder_, {}, QStringLiteral("PC7"));
        pellora::platform::IncomingDatagram incoming;
        incoming.dataOnly = true;
        incoming.payload = QByteArray("Ann\0Bob\0Hi\0", 11);
        receiver.Take(incoming, kNow);
        incoming.payload = QByteArray("Ann\0Bob", 7);
        receiver.Take(incoming, kNow);
        QCOMPARE(receiver.store().messages().size(), std::size_t(1));
        QCOMPARE(receiver.malformed(), qint64(1));
        QCOMPARE(receiver.store().messages().back().text, QStringLiteral("Hi"));
        QCOMPARE(receiver.store().messages().back().computer,
                 QStringLiteral("(not known: the system's mailslot does not say)"));
    }

    void storeKeepsTheNewestWithinTheCount() {
        MessageStore store({3, 1 << 20});
        for (const char* text : {"one", "two", "three", "four", "five"}) {
            ReceivedMessage m = Message(QString::fromLatin1(text));
            m.file = QString::fromLatin1(text);
            const auto gone = store.Add(m);
            QCOMPARE(gone.size(), std::size_t(store.dropped() > 0 ? 1 : 0));
        }
        QCOMPARE(store.messages().size(), std::size_t(3));
        QCOMPARE(store.messages().front().text, QStringLiteral("three"));
        QCOMPARE(store.messages().back().text, QStringLiteral("five"));
        QCOMPARE(store.dropped(), qint64(2));
    }

    void storeKeepsWithinTheBytes() {
        // 128 + 2 * 100 bytes each: two fit into 700, the third drops the first.
        MessageStore store({100, 700});
        store.Add(Message(QString(100, u'a')));
        store.Add(Message(QString(100, u'b')));
        QCOMPARE(store.dropped(), qint64(0));
        QCOMPARE(store.bytes(), qint64(656));
        const auto gone = store.Add(Message(QString(100, u'c')));
        QCOMPARE(gone.size(), std::size_t(1));
        QCOMPARE(gone.front().text, QString(100, u'a'));
        QCOMPARE(store.bytes(), qint64(656));
        // One larger than the whole bound is not kept either.
        store.Add(Message(QString(400, u'd')));
        QCOMPARE(store.messages().size(), std::size_t(0));
        QCOMPARE(store.dropped(), qint64(4));
        QCOMPARE(store.bytes(), qint64(0));
    }

    void referenceDatagramBecomesAFile() {
        PrepareReceivedFolder(folder_);
        Receiver receiver(folder_, {}, QStringLiteral("PC7"));
        QSignalSpy added(&receiver, &Receiver::MessageAdded);
        receiver.Take(ReferenceDatagram(), kSource, false, kNow);
        QCOMPARE(added.size(), 1);
        QCOMPARE(Files(folder_), QStringList{QStringLiteral("Message 2026-12-07 12-42-54.TXT")});
        const QString path = folder_ + QStringLiteral("/Message 2026-12-07 12-42-54.TXT");
        QCOMPARE(ReadFile(path), QByteArray("From:     Ann\r\n"
                                            "To:       Bob\r\n"
                                            "Computer: LINUXBOX at 10.0.0.1\r\n"
                                            "Date:     12/07/2026 12:42:54\r\n"
                                            "\r\n"
                                            "Hi"));
        struct stat file {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &file), 0);
        QCOMPARE(file.st_mode & 0777, mode_t(0600));
        struct stat folder {};
        QCOMPARE(::stat(QFile::encodeName(folder_).constData(), &folder), 0);
        QCOMPARE(folder.st_mode & 0777, mode_t(0700));
        QCOMPARE(receiver.store().messages().back().file, path);
        QCOMPARE(receiver.store().messages().back().from, QStringLiteral("Ann"));
    }

    void sameSecondGetsTheNextName() {
        PrepareReceivedFolder(folder_);
        Receiver receiver(folder_, {}, QStringLiteral("PC7"));
        for (int i = 0; i < 3; ++i)
            receiver.Take(ReferenceDatagram(), kSource, false, kNow);
        QCOMPARE(Files(folder_), (QStringList{QStringLiteral("Message 2026-12-07 12-42-54 (2).TXT"),
                                              QStringLiteral("Message 2026-12-07 12-42-54 (3).TXT"),
                                              QStringLiteral("Message 2026-12-07 12-42-54.TXT")}));
    }

    void oemCodePageOfTheLocale_data() {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QByteArray>("sender");
        QTest::addColumn<QString>("from");
        QTest::newRow("437") << QByteArray("C") << QByteArray("\x80\x81\x82") << QStringLiteral("Çüé");
        QTest::newRow("866 under a Russian locale")
            << QByteArray("ru_RU.UTF-8") << QByteArray("\x80\x81\x82") << QStringLiteral("АБВ");
        QTest::newRow("control characters") << QByteArray("C") << QByteArray("\r\n\x1B") << QStringLiteral("␍␊␛");
    }
    void oemCodePageOfTheLocale() {
        QFETCH(QByteArray, locale);
        QFETCH(QByteArray, sender);
        qputenv("LC_ALL", locale);
        PrepareReceivedFolder(folder_);
        Receiver receiver(folder_, {}, QStringLiteral("PC7"));
        receiver.Take(WithSender(sender), kSource, false, kNow);
        QCOMPARE(receiver.store().messages().size(), std::size_t(1));
        QTEST(receiver.store().messages().back().from, "from");
        const QByteArray file = ReadFile(receiver.store().messages().back().file);
        QFETCH(QString, from);
        QVERIFY2(file.startsWith("From:     " + from.toUtf8() + "\r\nTo:       Bob\r\n"), file.constData());
    }

    void malformedIsCountedAndNotKept() {
        PrepareReceivedFolder(folder_);
        Receiver receiver(folder_, {}, QStringLiteral("PC7"));
        QSignalSpy malformed(&receiver, &Receiver::MalformedDropped);
        receiver.Take(ReferenceDatagram().left(178), kSource, false, kNow);
        receiver.Take(QByteArray("\x10\x02garbage"), kSource, false, kNow);
        QByteArray otherMailslot = ReferenceDatagram();
        otherMailslot[0xA7] = 'X';
        receiver.Take(otherMailslot, kSource, false, kNow);
        QCOMPARE(receiver.malformed(), qint64(2));
        QCOMPARE(malformed.size(), 2);
        QCOMPARE(receiver.store().messages().size(), std::size_t(0));
        QCOMPARE(Files(folder_), QStringList());
    }

    void droppedMessagesLoseTheirFiles() {
        PrepareReceivedFolder(folder_);
        Receiver receiver(folder_, {5, 1 << 20}, QStringLiteral("PC7"));
        for (int i = 0; i < 40; ++i)
            receiver.Take(ReferenceDatagram(), kSource, false, kNow.addSecs(i));
        QCOMPARE(receiver.store().messages().size(), std::size_t(5));
        QCOMPARE(receiver.store().dropped(), qint64(35));
        QCOMPARE(Files(folder_), (QStringList{QStringLiteral("Message 2026-12-07 12-43-29.TXT"),
                                              QStringLiteral("Message 2026-12-07 12-43-30.TXT"),
                                              QStringLiteral("Message 2026-12-07 12-43-31.TXT"),
                                              QStringLiteral("Message 2026-12-07 12-43-32.TXT"),
                                              QStringLiteral("Message 2026-12-07 12-43-33.TXT")}));
    }

    void savedMessagesAreReadBack() {
        PrepareReceivedFolder(folder_);
        {
            Receiver receiver(folder_, {}, QStringLiteral("PC7"));
            receiver.Take(ReferenceDatagram(), kSource, false, kNow);
            receiver.Take(WithSender("Eve"), 0x0A000007, false, kNow.addSecs(1));
            receiver.Take(WithSender("Max"), kSource, false, kNow.addSecs(1));
        }
        // Not one of ours: left alone and not read.
        pellora::test::WriteFile(folder_ + QStringLiteral("/notes.txt"), "From:     X\r\nDate:     x\r\n\r\nx");
        pellora::test::WriteFile(folder_ + QStringLiteral("/Message 2026-12-07 12-00-00.TXT"), "no header");
        Receiver again(folder_, {2, 1 << 20}, QStringLiteral("PC7"));
        again.LoadSaved();
        QCOMPARE(again.store().messages().size(), std::size_t(2));
        const ReceivedMessage& older = again.store().messages().front();
        const ReceivedMessage& newer = again.store().messages().back();
        QCOMPARE(older.from, QStringLiteral("Eve"));
        QCOMPARE(older.computer, QStringLiteral("LINUXBOX at 10.0.0.7 (claims 10.0.0.1)"));
        QCOMPARE(older.received, kNow.addSecs(1));
        QCOMPARE(newer.from, QStringLiteral("Max"));
        QCOMPARE(newer.to, QStringLiteral("Bob"));
        QCOMPARE(newer.text, QStringLiteral("Hi"));
        QCOMPARE(Files(folder_),
                 (QStringList{QStringLiteral("Message 2026-12-07 12-00-00.TXT"),
                              QStringLiteral("Message 2026-12-07 12-42-55 (2).TXT"),
                              QStringLiteral("Message 2026-12-07 12-42-55.TXT"), QStringLiteral("notes.txt")}));
    }

    void parseMessageFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("content");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("text");
        const QString header = QStringLiteral("From:     A\r\nDate:     x\r\n\r\n");
        QTest::newRow("whole") << "Message 2026-12-07 12-42-54.TXT" << header + "a\r\n\r\nb" << true << "a\r\n\r\nb";
        QTest::newRow("numbered") << "Message 2026-12-07 12-42-54 (12).TXT" << header + "x" << true << "x";
        QTest::newRow("empty text") << "Message 2026-12-07 12-42-54.TXT" << header << true << "";
        QTest::newRow("no date line") << "Message 2026-12-07 12-42-54.TXT"
                                      << "From:     A\r\n\r\nx" << false << "";
        QTest::newRow("unknown line") << "Message 2026-12-07 12-42-54.TXT"
                                      << "Subject: A\r\nDate:     x\r\n\r\nx" << false << "";
        QTest::newRow("no blank line") << "Message 2026-12-07 12-42-54.TXT"
                                       << "Date:     x\r\n"
                                       << false << "";
        QTest::newRow("another name") << "Message.TXT" << header + "x" << false << "";
        QTest::newRow("temporary name") << "~$Message 2026-12-07 12-42-54.TXT" << header + "x" << false << "";
        QTest::newRow("no such day") << "Message 2026-13-07 12-42-54.TXT" << header + "x" << false << "";
    }
    void parseMessageFile() {
        QFETCH(QString, name);
        QFETCH(QString, content);
        QFETCH(bool, read);
        const auto message = ParseMessageFile(name, content);
        QCOMPARE(message.has_value(), read);
        if (message)
            QTEST(message->text, "text");
    }

    void removesOnlyMessageFilesInItsFolder() {
        PrepareReceivedFolder(folder_);
        const QString outside = data_.path() + QStringLiteral("/Message 2026-12-07 12-42-54.TXT");
        const QString notOurs = folder_ + QStringLiteral("/notes.txt");
        pellora::test::WriteFile(outside, "x");
        pellora::test::WriteFile(notOurs, "x");
        QVERIFY(!RemoveReceivedFile(folder_, outside));
        QVERIFY(!RemoveReceivedFile(folder_, notOurs));
        QVERIFY(!RemoveReceivedFile(folder_, folder_ + QStringLiteral("/../Message 2026-12-07 12-42-54.TXT")));
        QVERIFY(QFile::exists(outside));
        QVERIFY(QFile::exists(notOurs));
    }

    void foreignFolderIsRefused() {
        if (::geteuid() != 0)
            QSKIP("needs root to give the folder to another user");
        QVERIFY(QDir().mkpath(folder_));
        QCOMPARE(::chown(QFile::encodeName(folder_).constData(), 65534, 65534), 0);
        QVERIFY_THROWS_EXCEPTION(pellora::Error, PrepareReceivedFolder(folder_));
    }

private:
    int run_ = 0;
};

PELLORA_TEST_MAIN(ReceivingTest)
#include "ReceivingTest.moc"
