// The Messenger packet and the mailslot path.
#include "sending/Packet.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace pellora::sending;

namespace {

// Sets LC_ALL for the life of the object (ksAnsiToOem follows the locale variables).
class Locale {
public:
    explicit Locale(const char* name) : saved_(qgetenv("LC_ALL")), had_(qEnvironmentVariableIsSet("LC_ALL")) {
        qputenv("LC_ALL", name);
    }
    ~Locale() {
        if (had_)
            qputenv("LC_ALL", saved_);
        else
            qunsetenv("LC_ALL");
    }

private:
    QByteArray saved_;
    bool had_;
};

QByteArray Bytes(const char* data, int size) { return QByteArray(data, size); }

} // namespace

class PacketTest : public QObject {
    Q_OBJECT

private slots:
    void annBobHi() {
        Locale locale("en_US.UTF-8");
        const QByteArray packet =
            BuildMessengerPacket(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("Hi"));
        QCOMPARE(packet.toHex(' '), QByteArray("41 6e 6e 00 42 6f 62 00 48 69 00"));
        QCOMPARE(packet.size(), 11);
    }

    void twoLineMessage() {
        Locale locale("C");
        const QByteArray packet =
            BuildMessengerPacket(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("Hi\r\nthere"));
        QCOMPARE(packet, Bytes("A\0B\0"
                               "\x48\x69\x0D\x0A\x74\x68\x65\x72\x65\0",
                               14));
    }

    void path() {
        QCOMPARE(MailslotPath(QStringLiteral("PC7")), QStringLiteral("\\\\PC7\\mailslot\\messngr"));
        QCOMPARE(MailslotPath(QStringLiteral(" my pc ")), QStringLiteral("\\\\ my pc \\mailslot\\messngr"));
        QCOMPARE(MailslotPath(QStringLiteral("a\\b\\")), QStringLiteral("\\\\a\\b\\\\mailslot\\messngr"));
        QCOMPARE(MailslotPath(QStringLiteral("pc7.lan")), QStringLiteral("\\\\pc7.lan\\mailslot\\messngr"));
        QCOMPARE(MailslotPath(QStringLiteral("Ünï")), QStringLiteral("\\\\Ünï\\mailslot\\messngr"));
    }

    // ksAnsiToOem follows LC_ALL on Linux. Windows has one OEM code page for the whole system
    // (under Wine, that of the locale a process starts in): there the rows of the system's code
    // page run, and tests/sending/CMakeLists.txt runs the test once more for each other one.
    void oemCodePages_data() {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QStringList>("fields"); // from, to, message
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char* name, const char* locale, [[maybe_unused]] unsigned codePage,
                            const QStringList& fields, const QByteArray& expected) {
#ifdef Q_OS_WIN
            if (GetOEMCP() != codePage)
                return;
#endif
            QTest::newRow(name) << QByteArray(locale) << fields << expected;
        };
        row("437", "en_US.UTF-8", 437, {"José", "Zoë", "Grüße ½"},
            Bytes("Jos\x82\0Zo\x89\0Gr\x81\xE1"
                  "e \xAB\0",
                  17));
        row("850", "de_DE.UTF-8", 850, {"Jürgen", "Ærø", "Grüße"},
            Bytes("J\x81rgen\0\x92r\x9B\0Gr\x81\xE1"
                  "e\0",
                  17));
        row("866", "ru_RU.UTF-8", 866, {"Иван", "Ёж", "Привет"},
            Bytes("\x88\xA2\xA0\xAD\0\xF0\xA6\0\x8F\xE0\xA8\xA2\xA5\xE2\0", 15));
        row("866, unmappable becomes ?", "ru_RU.UTF-8", 866, {"é", "€", "a✓b"}, Bytes("?\0?\0a?b\0", 8));
        row("850, unmappable becomes ?", "de_DE.UTF-8", 850, {"Ж", "B", "€"}, Bytes("?\0B\0?\0", 6));
    }

    void oemCodePages() {
        QFETCH(QByteArray, locale);
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, expected);
        Locale set(locale.constData());
        QCOMPARE(BuildMessengerPacket(fields.at(0), fields.at(1), fields.at(2)), expected);
    }

    void nulCharactersDropped() {
        Locale locale("C");
        const QString nul(QChar(u'\0'));
        const QByteArray packet = BuildMessengerPacket(QStringLiteral("An") + nul + QStringLiteral("n"), nul + nul,
                                                       QStringLiteral("H") + nul + QStringLiteral("i") + nul);
        QCOMPARE(packet, Bytes("Ann\0\0Hi\0", 8));
        QCOMPARE(packet.count('\0'), 3);
    }
};

PELLORA_TEST_MAIN(PacketTest)
#include "PacketTest.moc"
