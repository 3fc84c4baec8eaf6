// The NetBIOS datagram and name service bytes of the Linux mailslot transport.
#include "platform/netbios/NetBios.h"
#include "platform/mailslot/MailslotPath.h"
#include "platform/netbios/NameResponder.h"
#include "platform/posix/Mailslot.h"
#include "platform/posix/NetBiosResolver.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

using namespace pellora::platform;
using namespace pellora::platform::netbios;

namespace {

QByteArray Hex(const char* text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

// The checked reference datagram: the hex dump of mailslot-datagram-ann-bob-hi.txt in the
// shared reference folder, which must be there. Each dump line is "OFFSET: BYTES"; the offsets
// must follow on without a gap and the bytes must come to the size the first line states.
struct ReferenceFile {
    QByteArray bytes;
    int statedSize = -1;
    QString error; // empty when the file was read and its dump is whole
};

ReferenceFile ReadReferenceDatagram() {
    ReferenceFile ref;
    const QString path = QStringLiteral(PELLORA_REFERENCE_DIR "/mailslot-datagram-ann-bob-hi.txt");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ref.error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return ref;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    static const QRegularExpression kSize(QStringLiteral("\\((\\d+) bytes\\)"));
    const QRegularExpressionMatch size = kSize.match(QString::fromUtf8(lines.value(0)));
    if (size.hasMatch())
        ref.statedSize = size.captured(1).toInt();
    static const QRegularExpression kDump(QStringLiteral("^([0-9a-f]{4}): ((?:[0-9a-f]{2} ?)+)$"));
    for (const QByteArray& line : lines) {
        const QRegularExpressionMatch dump = kDump.match(QString::fromLatin1(line.trimmed()));
        if (!dump.hasMatch())
            continue;
        if (dump.captured(1).toInt(nullptr, 16) != ref.bytes.size()) {
            ref.error =
                QStringLiteral("the dump line at %1 follows %2 bytes").arg(dump.captured(1)).arg(ref.bytes.size());
            return ref;
        }
        ref.bytes += QByteArray::fromHex(dump.captured(2).toLatin1());
    }
    if (ref.bytes.size() != ref.statedSize)
        ref.error =
            QStringLiteral("the dump has %1 bytes, the file states %2").arg(ref.bytes.size()).arg(ref.statedSize);
    return ref;
}

const QByteArray kMessngr = "\\MAILSLOT\\MESSNGR";

DatagramHeader ReferenceHeader() {
    DatagramHeader h;
    h.type = kDirectUnique;
    h.id = 0x8001;
    h.sourceAddress = 0x0A000001; // 10.0.0.1
    h.sourcePort = 138;
    h.sourceName = MakeName(QStringLiteral("LINUXBOX"));
    h.destinationName = MakeName(QStringLiteral("PC7"));
    return h;
}

void Put16(QByteArray& out, unsigned v) {
    out.append(char((v >> 8) & 0xFF));
    out.append(char(v & 0xFF));
}

// A positive name query response as nmbd sends it.
QByteArray NameQueryResponse(std::uint16_t id, const Name& name, std::uint32_t address, bool group) {
    QByteArray r;
    Put16(r, id);
    Put16(r, 0x8500); // response, AA, RD
    Put16(r, 0);
    Put16(r, 1);
    Put16(r, 0);
    Put16(r, 0);
    r.append(EncodeName(name));
    Put16(r, 0x0020);
    Put16(r, 0x0001);
    Put16(r, 0x0004);
    Put16(r, 0x93E0); // TTL
    Put16(r, 6);
    Put16(r, group ? 0x8000 : 0x0000);
    Put16(r, address >> 16);
    Put16(r, address & 0xFFFF);
    return r;
}

struct TableEntry {
    const char* name;
    std::uint8_t suffix;
    std::uint16_t flags;
};

QByteArray NodeStatusResponse(std::uint16_t id, std::initializer_list<TableEntry> entries) {
    QByteArray r;
    Put16(r, id);
    Put16(r, 0x8400);
    Put16(r, 0);
    Put16(r, 1);
    Put16(r, 0);
    Put16(r, 0);
    r.append(EncodeName(WildcardName()));
    Put16(r, 0x0021);
    Put16(r, 0x0001);
    Put16(r, 0);
    Put16(r, 0);
    const int length = 1 + 18 * int(entries.size()) + 46;
    Put16(r, unsigned(length));
    r.append(char(entries.size()));
    for (const TableEntry& e : entries) {
        r.append(MakeNameFromBytes(e.name, e.suffix).bytes);
        Put16(r, e.flags);
    }
    r.append(46, '\0'); // statistics
    return r;
}

} // namespace

class NetBiosTest : public QObject {
    Q_OBJECT

private slots:
    void firstLevelEncoding() {
        QCOMPARE(EncodeName(MakeName(QStringLiteral("LINUXBOX"))), QByteArray("\x20"
                                                                              "EMEJEOFFFIECEPFICACACACACACACAAA",
                                                                              33) +
                                                                       QByteArray(1, '\0'));
        QCOMPARE(EncodeName(MakeName(QStringLiteral("pc7"))), QByteArray("\x20"
                                                                         "FAEDDHCACACACACACACACACACACACAAA",
                                                                         33) +
                                                                  QByteArray(1, '\0'));
        // Cut to 15 bytes, then the suffix.
        const Name longName = MakeName(QStringLiteral("ABCDEFGHIJKLMNOPQ"), 0x20);
        QCOMPARE(longName.bytes, QByteArray("ABCDEFGHIJKLMNO "));
        QCOMPARE(Describe(MakeName(QStringLiteral("Pc7"))), QStringLiteral("PC7<00>"));
        int offset = 0;
        const QByteArray encoded = EncodeName(MakeName(QStringLiteral("PC7")));
        auto decoded = DecodeName(encoded, offset);
        QVERIFY(decoded);
        QCOMPARE(*decoded, MakeName(QStringLiteral("PC7")));
        QCOMPARE(offset, 34);
    }

    // The 15-byte limit holds for the bytes sent: upper-cased first, then in the OEM code page.
    void exactNameLimit_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // the 15 name bytes; null when refused
        QTest::newRow("short") << QStringLiteral("pc7") << QByteArray("PC7            ");
        QTest::newRow("15 letters") << QStringLiteral("abcdefghijklmno") << QByteArray("ABCDEFGHIJKLMNO");
        QTest::newRow("16 letters") << QStringLiteral("abcdefghijklmnop") << QByteArray();
        QTest::newRow("7 sharp s") << QString(7, QChar(0xDF)) << QByteArray("SSSSSSSSSSSSSS ");
        QTest::newRow("8 sharp s") << QString(8, QChar(0xDF)) << QByteArray();
        QTest::newRow("15 sharp s") << QString(15, QChar(0xDF)) << QByteArray();
        QTest::newRow("ligature") << QStringLiteral("abcdefghijklmn") + QChar(0xFB00) << QByteArray();
    }
    void exactNameLimit() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const std::optional<Name> exact = MakeExactName(name, 0x20);
        QCOMPARE(exact.has_value(), !bytes.isNull());
        if (exact)
            QCOMPARE(exact->bytes, bytes + '\x20');
        // What ResolveComputer sends for the name, or its refusal before any traffic.
        if (!exact)
            QVERIFY(!ResolveComputer(name, QStringLiteral("WORKGROUP"), {}));
    }

    // Addresses a name service answer may not send us to, and those a typed address may not be.
    // A typed address is taken only as a canonical dotted quad; any other text of digits and
    // dots is refused before a resolver sees it (the other columns then do not apply).
    void answerAddresses_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("canonical");
        QTest::addColumn<bool>("forbiddenAnswer");
        QTest::addColumn<bool>("broadcastOrMulticast");
        QTest::addColumn<bool>("forbiddenResolved"); // from the hosts file or DNS
        QTest::newRow("private") << QStringLiteral("10.0.0.7") << true << false << false << false;
        QTest::newRow("public") << QStringLiteral("93.184.216.34") << true << false << false << false;
        QTest::newRow("other subnet's broadcast") << QStringLiteral("10.1.255.255") << true << false << false << false;
        QTest::newRow("zero") << QStringLiteral("0.0.0.0") << true << true << false << true;
        QTest::newRow("this network") << QStringLiteral("0.1.2.3") << true << true << false << true;
        QTest::newRow("loopback") << QStringLiteral("127.0.0.1") << true << true << false << false;
        QTest::newRow("loopback, other") << QStringLiteral("127.255.0.9") << true << true << false << false;
        QTest::newRow("multicast, first") << QStringLiteral("224.0.0.1") << true << true << true << true;
        QTest::newRow("multicast, last") << QStringLiteral("239.255.255.255") << true << true << true << true;
        QTest::newRow("reserved") << QStringLiteral("240.0.0.1") << true << true << false << true;
        QTest::newRow("limited broadcast") << QStringLiteral("255.255.255.255") << true << true << true << true;
        QTest::newRow("local broadcast") << QStringLiteral("10.0.0.255") << true << true << true << true;
        QTest::newRow("second local broadcast") << QStringLiteral("192.168.7.127") << true << true << true << true;
        QTest::newRow("just below 224") << QStringLiteral("223.255.255.255") << true << false << false << false;
        QTest::newRow("zero-padded (octal to a resolver)")
            << QStringLiteral("10.77.000.010") << false << false << false << false;
        QTest::newRow("short form") << QStringLiteral("10.77.8") << false << false << false << false;
    }
    void answerAddresses() {
        QFETCH(QString, address);
        QFETCH(bool, canonical);
        QFETCH(bool, forbiddenAnswer);
        QFETCH(bool, broadcastOrMulticast);
        QFETCH(bool, forbiddenResolved);
        std::uint32_t value = 0;
        QCOMPARE(ClassifyAddressText(address, &value), canonical ? AddressForm::Canonical : AddressForm::NotCanonical);
        if (!canonical) {
            QString error;
            QVERIFY(!ResolveComputer(address, QStringLiteral("WORKGROUP"), {}, &error));
            QCOMPARE(error, address + QStringLiteral(" is not an address this program takes: write an address as "
                                                     "four numbers from 0 to 255 without leading zeros, such as "
                                                     "10.0.0.7."));
            return;
        }
        in_addr parsed{};
        QVERIFY(::inet_pton(AF_INET, address.toLatin1().constData(), &parsed) == 1);
        QCOMPARE(value, ntohl(parsed.s_addr));
        const std::vector<std::uint32_t> local{0x0A0000FFu, 0xC0A8077Fu}; // 10.0.0.255, 192.168.7.127
        QCOMPARE(IsForbiddenAnswerAddress(value, local), forbiddenAnswer);
        QCOMPARE(IsBroadcastOrMulticast(value, local), broadcastOrMulticast);
        QCOMPARE(IsForbiddenResolvedAddress(value, local), forbiddenResolved);
    }

    // Name query answers as they come, "FROM:PORT ADDRESS [group]", to 10.0.0.1 (this machine).
    void nameQueryAnswers_data() {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("from another port") << QStringList{"10.0.0.9:40000 10.0.0.9"} << QStringLiteral("none");
        QTest::newRow("from this machine") << QStringList{"10.0.0.1:137 10.0.0.9"} << QStringLiteral("none");
        QTest::newRow("from loopback") << QStringList{"127.0.0.1:137 10.0.0.9"} << QStringLiteral("none");
        QTest::newRow("another port first, then the owner")
            << QStringList{"10.0.0.9:40000 10.0.0.9", "10.0.0.7:137 10.0.0.7"} << QStringLiteral("10.0.0.7");
        QTest::newRow("two owners") << QStringList{"10.0.0.7:137 10.0.0.7", "10.0.0.9:137 10.0.0.9"}
                                    << QStringLiteral("conflict 10.0.0.9");
        // A typed name is never a group name: a group answer, first, alone or beside a unique
        // one, refuses the name (a rogue's group answer naming the owner's address would
        // otherwise turn the message into a broadcast).
        QTest::newRow("an owner and a group member")
            << QStringList{"10.0.0.7:137 10.0.0.7", "10.0.0.9:137 10.0.0.9 group"} << QStringLiteral("group");
        QTest::newRow("a group answer alone") << QStringList{"10.0.0.9:137 10.0.0.9 group"} << QStringLiteral("group");
        QTest::newRow("a group answer for the owner's address, then the owner")
            << QStringList{"10.0.0.9:137 10.0.0.7 group", "10.0.0.7:137 10.0.0.7"} << QStringLiteral("group");
    }
    void nameQueryAnswers() {
        QFETCH(QStringList, answers);
        QFETCH(QString, outcome);
        auto ip = [](const QString& text) { return ntohl(::inet_addr(text.toLatin1().constData())); };
        NameQueryAnswers taken({0x0A000001u}, {0x0A0000FFu});
        for (const QString& line : answers) {
            const QStringList p = QString(line).replace(u':', u' ').split(u' ');
            taken.Add(ip(p[0]), p[1].toUShort(), {ip(p[2]), p.size() > 3});
        }
        const QString got = taken.group()      ? QStringLiteral("group")
                            : taken.conflict() ? QStringLiteral("conflict ") + AddressText(*taken.conflict())
                            : taken.first()    ? AddressText(taken.first()->address)
                                               : QStringLiteral("none");
        QCOMPARE(got, outcome);
    }

    // Node status answers, "FROM:PORT", to a request sent to 10.0.0.7.
    void nodeStatusSource_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<bool>("counts");
        QTest::newRow("the node, port 137") << QStringLiteral("10.0.0.7:137") << true;
        QTest::newRow("the node, another port") << QStringLiteral("10.0.0.7:40000") << false;
        QTest::newRow("another node, port 137") << QStringLiteral("10.0.0.9:137") << false;
    }
    void nodeStatusSource() {
        QFETCH(QString, from);
        QFETCH(bool, counts);
        const QStringList p = from.split(u':');
        QCOMPARE(IsNodeStatusSource(0x0A000007u, ntohl(::inet_addr(p[0].toLatin1().constData())), p[1].toUShort()),
                 counts);
    }

    void referenceDatagram() {
        const ReferenceFile reference = ReadReferenceDatagram();
        QVERIFY2(reference.error.isEmpty(), qPrintable(reference.error));
        const QByteArray packet = QByteArray("Ann\0Bob\0Hi\0", 11);
        const auto datagram = BuildMailslotDatagram(ReferenceHeader(), kMessngr, packet);
        QVERIFY(datagram);
        QCOMPARE(datagram->size(), 181);
        QCOMPARE(datagram->toHex(' '), reference.bytes.toHex(' '));
        // DGM_LENGTH 167, ParameterOffset = DataOffset = 88, ByteCount 30, one padding byte.
        QCOMPARE((uchar(datagram->at(10)) << 8) | uchar(datagram->at(11)), 167);
        const QByteArray smb = datagram->mid(82);
        QCOMPARE(uchar(smb[53]) | (uchar(smb[54]) << 8), 88);
        QCOMPARE(uchar(smb[57]) | (uchar(smb[58]) << 8), 88);
        QCOMPARE(uchar(smb[67]) | (uchar(smb[68]) << 8), 30);
        QCOMPARE(smb.mid(88), packet);
        QCOMPARE(smb.at(87), '\0');
    }

    void referenceFileMatches() {
        // The reference file is read whole: its dump has the size its first line states, and
        // a damaged dump is reported as such rather than as a different datagram.
        const ReferenceFile reference = ReadReferenceDatagram();
        QVERIFY2(reference.error.isEmpty(), qPrintable(reference.error));
        QCOMPARE(reference.statedSize, 181);
        QCOMPARE(reference.bytes.size(), 181);
        QCOMPARE(reference.bytes.left(4), QByteArray("\x10\x02\x80\x01", 4));
        QCOMPARE(reference.bytes.right(11), QByteArray("Ann\0Bob\0Hi\0", 11));
        // The copy kept with the tests is the shared reference file, where that is at hand.
        QFile shared(QStringLiteral(PELLORA_SHARED_REFERENCE_DIR "/mailslot-datagram-ann-bob-hi.txt"));
        if (shared.open(QIODevice::ReadOnly))
            QCOMPARE(pellora::test::ReadFile(QStringLiteral(PELLORA_REFERENCE_DIR "/mailslot-datagram-ann-bob-hi.txt")),
                     shared.readAll());
    }

    void groupDatagram() {
        DatagramHeader h = ReferenceHeader();
        h.type = kDirectGroup;
        h.destinationName = MakeName(QStringLiteral("WORKGROUP"));
        const auto datagram = BuildMailslotDatagram(h, kMessngr, QByteArray("Ann\0Bob\0Hi\0", 11));
        QVERIFY(datagram);
        const ReferenceFile reference = ReadReferenceDatagram();
        QVERIFY2(reference.error.isEmpty(), qPrintable(reference.error));
        QByteArray expected = reference.bytes;
        expected[0] = char(0x11);
        expected.replace(48, 34,
                         QByteArray("\x20"
                                    "FHEPFCELEHFCEPFFFACACACACACACAAA",
                                    33) +
                             QByteArray(1, '\0'));
        QCOMPARE(datagram->toHex(' '), expected.toHex(' '));
    }

    void sizeLimit() {
        QCOMPARE(MaxMailslotData(kMessngr), 424);
        QCOMPARE(kMaxMessengerData, 424);
        const auto fits = BuildMailslotDatagram(ReferenceHeader(), kMessngr, QByteArray(424, 'x'));
        QVERIFY(fits);
        QCOMPARE(fits->size() - 82, 512); // the SMB message at its maximum
        QCOMPARE(fits->size(), 14 + 68 + 512);
        QVERIFY(!BuildMailslotDatagram(ReferenceHeader(), kMessngr, QByteArray(425, 'x')));
    }

    void writeSendsAt424AndRefuses425() {
        // The write itself: 424 bytes go, 425 are refused with the reason, whoever listens.
        Target target;
        target.type = kDirectUnique;
        target.name = MakeName(QStringLiteral("PC7"));
        target.destinations.push_back({INADDR_LOOPBACK, INADDR_LOOPBACK});
        auto file = OpenResolvedMailslot(target, MakeName(QStringLiteral("LINUXBOX")), kMessngr);
        QVERIFY(file);
        QString reason;
        QVERIFY(file->Write(QByteArray(424, 'x'), &reason));
        QVERIFY(reason.isEmpty());
        QVERIFY(!file->Write(QByteArray(425, 'x'), &reason));
        QCOMPARE(reason, QStringLiteral("The message has 425 bytes; at most 424 fit."));
    }

    void datagramIdsAreFresh() {
        QSet<std::uint16_t> ids;
        int counted = 0; // ids one above an earlier one: few, when drawn at random
        for (int i = 0; i < 100; ++i) {
            const std::uint16_t id = NextId();
            counted += ids.contains(std::uint16_t(id - 1));
            ids.insert(id);
        }
        QCOMPARE(ids.size(), 100);
        QVERIFY2(counted < 5, qPrintable(QString::number(counted)));
    }

    // An onlooker who has seen one run's ids must not know the next run's: the ids come from the
    // system's random source, not from a generator that starts the same in every process. This
    // test runs itself three times as a child process (PELLORA_PRINT_FIRST_ID set), each child
    // printing its first id; three equal first ids are a fixed seed (by chance: 1 in 2^32).
    void idsDifferBetweenProcesses() {
        if (qEnvironmentVariableIsSet("PELLORA_PRINT_FIRST_ID")) {
            std::printf("first id: %u\n", unsigned(NextId()));
            std::fflush(stdout);
            return;
        }
        QSet<QString> firsts;
        for (int run = 0; run < 3; ++run) {
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("PELLORA_PRINT_FIRST_ID"), QStringLiteral("1"));
            child.setProcessEnvironment(environment);
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("idsDifferBetweenProcesses")});
            QVERIFY(child.waitForFinished(60000));
            const QString output = QString::fromLatin1(child.readAllStandardOutput());
            static const QRegularExpression kFirst(QStringLiteral("first id: (\\d+)"));
            const QRegularExpressionMatch match = kFirst.match(output);
            QVERIFY2(match.hasMatch(), qPrintable(output));
            firsts.insert(match.captured(1));
        }
        QVERIFY2(firsts.size() > 1, qPrintable(QStringLiteral("every process began with id %1").arg(*firsts.begin())));
    }

    void nameQueryRequest() {
        const QByteArray request = BuildNameQuery(0x1234, MakeName(QStringLiteral("PC7")));
        const QByteArray encodedPc7 = QByteArray("\x20"
                                                 "FAEDDH",
                                                 7) +
                                      QByteArray("CA").repeated(12) + QByteArray("AA", 2) + QByteArray(1, '\0');
        QCOMPARE(request.toHex(' '),
                 (Hex("12 34 01 10 00 01 00 00 00 00 00 00") + encodedPc7 + Hex("00 20 00 01")).toHex(' '));
        QCOMPARE(request.size(), 50);
        const QByteArray status = BuildNodeStatusRequest(0xBEEF);
        const QByteArray wildcard = QByteArray("\x20"
                                               "CK",
                                               3) +
                                    QByteArray(30, 'A') + QByteArray(1, '\0');
        QCOMPARE(status.toHex(' '),
                 (Hex("be ef 00 00 00 01 00 00 00 00 00 00") + wildcard + Hex("00 21 00 01")).toHex(' '));
    }

    void nameQueryResponse() {
        const Name pc7 = MakeName(QStringLiteral("PC7"));
        const QByteArray reply = NameQueryResponse(0x1234, pc7, 0x0AD50707, false);
        auto answer = ParseNameQueryResponse(reply, 0x1234, pc7);
        QVERIFY(answer);
        QCOMPARE(answer->address, 0x0AD50707u);
        QVERIFY(!answer->group);

        auto group = ParseNameQueryResponse(NameQueryResponse(7, pc7, 0x0AD50708, true), 7, pc7);
        QVERIFY(group);
        QVERIFY(group->group);

        // The answer name as a pointer to the question.
        QByteArray compressed;
        Put16(compressed, 9);
        Put16(compressed, 0x8500);
        Put16(compressed, 1);
        Put16(compressed, 1);
        Put16(compressed, 0);
        Put16(compressed, 0);
        compressed.append(EncodeName(pc7));
        Put16(compressed, 0x20);
        Put16(compressed, 1);
        compressed.append("\xC0\x0C", 2);
        compressed.append(reply.mid(12 + 34));
        auto viaPointer = ParseNameQueryResponse(compressed, 9, pc7);
        QVERIFY(viaPointer);
        QCOMPARE(viaPointer->address, 0x0AD50707u);
    }

    void nameQueryResponsesIgnored() {
        const Name pc7 = MakeName(QStringLiteral("PC7"));
        const QByteArray good = NameQueryResponse(0x1234, pc7, 0x0AD50707, false);
        // Another transaction id, another name, another suffix.
        QVERIFY(!ParseNameQueryResponse(good, 0x1235, pc7));
        QVERIFY(!ParseNameQueryResponse(good, 0x1234, MakeName(QStringLiteral("PC8"))));
        QVERIFY(!ParseNameQueryResponse(good, 0x1234, MakeName(QStringLiteral("PC7"), 0x20)));
        // Our own request, heard back by broadcast.
        QVERIFY(!ParseNameQueryResponse(BuildNameQuery(0x1234, pc7), 0x1234, pc7));
        // Negative response (rcode 3), and opcode registration.
        QByteArray negative = good;
        negative[3] = char(negative[3] | 0x03);
        QVERIFY(!ParseNameQueryResponse(negative, 0x1234, pc7));
        QByteArray registration = good;
        registration[2] = char(0x80 | (5 << 3));
        QVERIFY(!ParseNameQueryResponse(registration, 0x1234, pc7));
        // A name with a scope.
        QByteArray scoped = good;
        scoped.insert(12 + 33, QByteArray("\x03"
                                          "LAN",
                                          4));
        QVERIFY(!ParseNameQueryResponse(scoped, 0x1234, pc7));
        // Zero address, short RDATA.
        QVERIFY(!ParseNameQueryResponse(NameQueryResponse(0x1234, pc7, 0, false), 0x1234, pc7));
        QByteArray shortData = good;
        shortData[12 + 34 + 8] = 0;
        shortData[12 + 34 + 9] = 4;
        shortData.chop(2);
        QVERIFY(!ParseNameQueryResponse(shortData, 0x1234, pc7));
        // Every truncation.
        for (int n = 0; n < good.size(); ++n)
            QVERIFY2(!ParseNameQueryResponse(good.left(n), 0x1234, pc7), qPrintable(QString::number(n)));
        // A pointer to itself, and forwards.
        QByteArray loop = good.left(12);
        loop.append("\xC0\x0C", 2);
        loop.append(good.mid(46));
        QVERIFY(!ParseNameQueryResponse(loop, 0x1234, pc7));
        QByteArray forward = good.left(12);
        forward.append("\xC0\x20", 2);
        forward.append(good.mid(46));
        QVERIFY(!ParseNameQueryResponse(forward, 0x1234, pc7));
    }

    void nodeStatus() {
        const QByteArray reply = NodeStatusResponse(0x4242, {{"__MSBROWSE__", 0x01, 0x8400},
                                                             {"WORKGROUP", 0x00, 0x8400},
                                                             {"PC7", 0x20, 0x0400},
                                                             {"PC7", 0x00, 0x0400}});
        auto table = ParseNodeStatusResponse(reply, 0x4242);
        QVERIFY(table);
        QCOMPARE(table->size(), std::size_t(4));
        auto name = UniqueWorkstationName(*table);
        QVERIFY(name);
        QCOMPARE(*name, MakeName(QStringLiteral("PC7")));
        QVERIFY(!ParseNodeStatusResponse(reply, 0x4243));
        // In conflict, or only group names: none.
        auto conflict = ParseNodeStatusResponse(NodeStatusResponse(1, {{"PC7", 0x00, 0x0C00}}), 1);
        QVERIFY(conflict);
        QVERIFY(!UniqueWorkstationName(*conflict));
        auto groups = ParseNodeStatusResponse(NodeStatusResponse(1, {{"WORKGROUP", 0x00, 0x8400}}), 1);
        QVERIFY(groups);
        QVERIFY(!UniqueWorkstationName(*groups));
        for (int n = 0; n < reply.size() - 46; ++n)
            QVERIFY2(!ParseNodeStatusResponse(reply.left(n), 0x4242), qPrintable(QString::number(n)));
        // An empty name table is no answer.
        QVERIFY(!ParseNodeStatusResponse(NodeStatusResponse(1, {}), 1));
        // NUM_NAMES larger than RDLENGTH allows.
        QByteArray lying = reply;
        lying[12 + 34 + 10] = char(200);
        QVERIFY(!ParseNodeStatusResponse(lying, 0x4242));
    }

    void nameResponder_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<uint>("from");
        QTest::addColumn<int>("fromPort");
        QTest::addColumn<bool>("registered");
        QTest::addColumn<bool>("toBroadcast");
        QTest::addColumn<QByteArray>("answer"); // its first four bytes: id and flags; empty for none
        QTest::addColumn<int>("state");         // NameResponder::State afterwards
        const Name pc7 = MakeName(QStringLiteral("PC7"));
        const uint other = 0x0A000009, own = 0x0A000007;
        const int active = int(NameResponder::State::Active), registering = int(NameResponder::State::Registering),
                  gaveWay = int(NameResponder::State::GaveWay);
        QTest::newRow("query, workstation name")
            << BuildNameQuery(0x0101, pc7) << other << 50000 << true << true << Hex("01 01 85 00") << active;
        QTest::newRow("query, Messenger name") << BuildNameQuery(0x0102, MakeName(QStringLiteral("PC7"), 0x03)) << other
                                               << 137 << true << true << Hex("01 02 85 00") << active;
        QTest::newRow("query, server name") << BuildNameQuery(0x0103, MakeName(QStringLiteral("PC7"), 0x20)) << other
                                            << 137 << true << true << QByteArray() << active;
        QTest::newRow("query, from this computer")
            << BuildNameQuery(0x0105, pc7) << own << 137 << true << true << QByteArray() << active;
        QTest::newRow("query, from port 0")
            << BuildNameQuery(0x0106, pc7) << other << 0 << true << true << QByteArray() << active;
        QTest::newRow("query, while registering")
            << BuildNameQuery(0x0107, pc7) << other << 137 << false << true << QByteArray() << registering;
        QTest::newRow("node status") << BuildNodeStatusRequest(0x0108) << other << 137 << true << false
                                     << Hex("01 08 84 00") << active;
        QTest::newRow("node status to everyone")
            << BuildNodeStatusRequest(0x0109) << other << 137 << true << true << QByteArray() << active;
        QTest::newRow("another's registration, defended") << BuildNameRegistration(0x010A, pc7, other) << other << 137
                                                          << true << true << Hex("01 0a ad 86") << active;
        QTest::newRow("this computer's nmbd registering")
            << BuildNameRegistration(0x010B, pc7, own) << other << 137 << true << true << QByteArray() << active;
        QTest::newRow("a defence of the name, while registering")
            << BuildNegativeRegistrationResponse(0x7000, pc7, other) << other << 137 << false << false << QByteArray()
            << gaveWay;
        QTest::newRow("a defence of another request") << BuildNegativeRegistrationResponse(0x6FFF, pc7, other) << other
                                                      << 137 << false << false << QByteArray() << registering;
    }

    void nameResponder() {
        QFETCH(QByteArray, message);
        QFETCH(uint, from);
        QFETCH(int, fromPort);
        QFETCH(bool, registered);
        QFETCH(bool, toBroadcast);
        QFETCH(QByteArray, answer);
        QFETCH(int, state);
        NameResponder responder(QStringLiteral("PC7"), {0x7F000001, 0x0A000007}, 0x7000);
        QCOMPARE(responder.RegistrationRound(0x0A000007, 0x0A0000FF).size(), std::size_t(2));
        if (registered)
            responder.FinishRegistration();
        const auto out = responder.Take(message, from, std::uint16_t(fromPort), 0x0A000007, toBroadcast);
        QCOMPARE(out.empty() ? QByteArray() : out.front().bytes.left(4).toHex(' '), answer.toHex(' '));
        if (!out.empty()) {
            QCOMPARE(out.size(), std::size_t(1));
            QCOMPARE(out.front().address, from);
            QCOMPARE(out.front().port, std::uint16_t(fromPort));
            // A name's answer names the address the question came to, not the asker's.
            if (answer.at(2) != char(0x84))
                QCOMPARE(out.front().bytes.right(4).toHex(' '), QByteArray("0a 00 00 07"));
        }
        QCOMPARE(int(responder.state()), state);
        if (state == int(NameResponder::State::GaveWay)) {
            QCOMPARE(responder.defender(), from);
            QVERIFY(responder.Release(0x0A000007, 0x0A0000FF).empty());
            QVERIFY(responder.Take(BuildNameQuery(1, MakeName(QStringLiteral("PC7"))), from, 137, 0x0A000007, true)
                        .empty());
        }
    }

    void parsersSurviveAnyBytes() {
        // Random datagrams, and every single-byte change of valid replies: no crash, no hang.
        const Name pc7 = MakeName(QStringLiteral("PC7"));
        QRandomGenerator random(20261207);
        for (int i = 0; i < 200000; ++i) {
            QByteArray bytes(int(random.bounded(120)), '\0');
            for (auto& b : bytes)
                b = char(random.bounded(256));
            if (bytes.size() > 4 && random.bounded(2)) {
                bytes[0] = 0x12; // a plausible header more often
                bytes[1] = 0x34;
                bytes[2] = char(0x85);
                bytes[3] = 0;
            }
            (void)ParseNameQueryResponse(bytes, 0x1234, pc7);
            (void)ParseNodeStatusResponse(bytes, 0x1234);
            int offset = int(random.bounded(qMax(1, int(bytes.size()))));
            (void)DecodeName(bytes, offset);
        }
        const QByteArray replies[] = {NameQueryResponse(0x1234, pc7, 0x0A000002, false),
                                      NodeStatusResponse(0x1234, {{"PC7", 0x00, 0x0400}, {"WG", 0x00, 0x8400}})};
        for (const QByteArray& reply : replies) {
            for (int at = 0; at < reply.size(); ++at) {
                for (int value = 0; value < 256; ++value) {
                    QByteArray changed = reply;
                    changed[at] = char(value);
                    (void)ParseNameQueryResponse(changed, 0x1234, pc7);
                    if (auto table = ParseNodeStatusResponse(changed, 0x1234))
                        (void)UniqueWorkstationName(*table);
                }
            }
        }
    }

    void smbConf() {
        const auto names = ParseSmbConf("# comment\n"
                                        "[global]\n"
                                        "   workgroup = OFFICE\n"
                                        "  NetBIOS  Name=linuxbox\n"
                                        "; netbios name = other\n"
                                        "[share]\n"
                                        "   netbios name = wrong\n");
        QCOMPARE(names.netbiosName, QStringLiteral("linuxbox"));
        QCOMPARE(names.workgroup, QStringLiteral("OFFICE"));
        const auto continued = ParseSmbConf("[global]\r\nworkgroup = \\\r\n  TEAM\r\n");
        QCOMPARE(continued.workgroup, QStringLiteral("TEAM"));
        QVERIFY(continued.netbiosName.isEmpty());

        QTemporaryDir dir;
        const QString conf = dir.filePath(QStringLiteral("smb.conf"));
        QFile file(conf);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[global]\nnetbios name = LINUXBOX\n");
        file.close();
        const LocalIdentity identity = ReadLocalIdentity(conf);
        QCOMPARE(identity.netbiosName, QStringLiteral("LINUXBOX"));
        QCOMPARE(identity.workgroup, QStringLiteral("WORKGROUP"));
        const LocalIdentity fallback = ReadLocalIdentity(dir.filePath(QStringLiteral("missing.conf")));
        QVERIFY(!fallback.netbiosName.isEmpty());
        QVERIFY(!fallback.netbiosName.contains(u'.'));
        QCOMPARE(fallback.workgroup, QStringLiteral("WORKGROUP"));
    }

    void mailslotPath() {
        auto p = ParseMailslotPath(QStringLiteral("\\\\PC7\\mailslot\\messngr"));
        QVERIFY(p);
        QCOMPARE(p->computer, QStringLiteral("PC7"));
        QCOMPARE(p->mailslot, QStringLiteral("messngr"));
        QCOMPARE(SmbMailslotName(p->mailslot), kMessngr);
        auto spaced = ParseMailslotPath(QStringLiteral("\\\\my pc\\MAILSLOT\\messngr"));
        QVERIFY(spaced);
        QCOMPARE(spaced->computer, QStringLiteral("my pc"));
        auto slashed = ParseMailslotPath(QStringLiteral("\\\\a\\b\\mailslot\\messngr"));
        QVERIFY(slashed);
        QCOMPARE(slashed->computer, QStringLiteral("a\\b"));
        QVERIFY(!ParseMailslotPath(QStringLiteral("\\\\\\mailslot\\messngr")));
        QVERIFY(!ParseMailslotPath(QStringLiteral("PC7\\mailslot\\messngr")));
    }

    void openRefusesBadComputerTexts() {
        // These fail before any network traffic, at once.
        NetBiosMailslots mailslots;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!mailslots.Open(QStringLiteral("\\\\\\mailslot\\messngr")));
        QVERIFY(!mailslots.Open(QStringLiteral("\\\\a\\b\\mailslot\\messngr")));
        QVERIFY(!mailslots.Open(QStringLiteral("\\\\ABCDEFGHIJKLMNOP\\mailslot\\messngr")));
        for (const char* computer : {"srv/share", "pc7:445", "host@SSL@443", "?", "PC*", "**", "pc\t7", "pc\x7f"}) {
            QVERIFY2(!mailslots.Open(QStringLiteral("\\\\%1\\mailslot\\messngr").arg(QLatin1String(computer))),
                     computer);
            QVERIFY(!mailslots.lastError().isEmpty());
            QVERIFY2(!ResolveComputer(QLatin1String(computer), QStringLiteral("WORKGROUP"), {}), computer);
        }
        QVERIFY(!mailslots.lastError().isEmpty());
        QVERIFY(timer.elapsed() < 500);
    }
};

PELLORA_TEST_MAIN(NetBiosTest)
#include "NetBiosTest.moc"
