// The receiving side's parser of Messenger datagrams: the checked reference datagram and a table
// of broken and foreign ones built from it.
#include "platform/netbios/MessengerDatagram.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

using namespace pellora::platform::netbios;

Q_DECLARE_METATYPE(pellora::platform::netbios::DatagramKind)

namespace {

// The hex dump of the reference datagram (181 bytes, "Ann" to "Bob": "Hi", from LINUXBOX<00> at
// 10.0.0.1 to PC7<00>).
QByteArray ReferenceDatagram() {
    return pellora::test::ReadHexDump(QStringLiteral(PELLORA_REFERENCE_DIR "/mailslot-datagram-ann-bob-hi.txt"));
}

// The reference with the bytes at `offset` replaced by `bytes`.
QByteArray Patched(int offset, const QByteArray& bytes) {
    QByteArray datagram = ReferenceDatagram();
    datagram.replace(offset, bytes.size(), bytes);
    return datagram;
}

QByteArray Hex(const char* text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

// The reference's header and names (82 bytes), with DGM_LENGTH set for an SMB part of `smbSize`.
QByteArray HeaderFor(int smbSize) {
    QByteArray header = ReferenceDatagram().left(82);
    const int length = 68 + smbSize;
    header[10] = char(length >> 8);
    header[11] = char(length & 0xFF);
    return header;
}

// An SMB mailslot write laid out as the reference's, with another mailslot name and data
// (ByteCount, DataCount and DataOffset set for them, padding to a multiple of 4).
QByteArray MailslotWrite(const QByteArray& name, const QByteArray& data) {
    QByteArray smb = ReferenceDatagram().mid(82, 69); // header, words and ByteCount
    const int beforeData = 69 + int(name.size()) + 1;
    const int padding = (4 - beforeData % 4) % 4;
    const int dataOffset = beforeData + padding;
    auto put16 = [&](int at, int value) {
        smb[at] = char(value & 0xFF);
        smb[at + 1] = char(value >> 8);
    };
    put16(33 + 2, int(data.size()));  // TotalDataCount
    put16(33 + 20, dataOffset);       // ParameterOffset
    put16(33 + 22, int(data.size())); // DataCount
    put16(33 + 24, dataOffset);       // DataOffset
    put16(33 + 34, int(name.size()) + 1 + padding + int(data.size()));
    return smb + name + '\0' + QByteArray(padding, '\0') + data;
}

QByteArray Datagram(const QByteArray& name, const QByteArray& data) {
    const QByteArray smb = MailslotWrite(name, data);
    return HeaderFor(int(smb.size())) + smb;
}

} // namespace

class MessengerDatagramTest : public QObject {
    Q_OBJECT

private slots:
    void referenceIsThere() { QCOMPARE(ReferenceDatagram().size(), 181); }

    void referenceDatagram() {
        const ParsedDatagram parsed = ParseMessengerDatagram(ReferenceDatagram());
        QCOMPARE(parsed.kind, DatagramKind::Messenger);
        QVERIFY(parsed.message);
        const MessengerDatagram& m = *parsed.message;
        QCOMPARE(m.from, QByteArray("Ann"));
        QCOMPARE(m.to, QByteArray("Bob"));
        QCOMPARE(m.text, QByteArray("Hi"));
        QCOMPARE(m.type, std::uint8_t(0x10));
        QCOMPARE(m.sourceAddress, std::uint32_t(0x0A000001));
        QCOMPARE(m.sourcePort, std::uint16_t(138));
        QCOMPARE(m.sourceName.bytes, QByteArray("LINUXBOX       \0", 16));
        QCOMPARE(m.destinationName.bytes, QByteArray("PC7            \0", 16));
    }

    void datagrams_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<DatagramKind>("kind");
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QByteArray>("text");
        const auto M = DatagramKind::Messenger;
        const auto O = DatagramKind::Other;
        const auto X = DatagramKind::Malformed;
        const QByteArray none;
        const QByteArray ref = ReferenceDatagram();
        QTest::newRow("the reference") << ref << M << QByteArray("Ann") << QByteArray("Bob") << QByteArray("Hi");
        QTest::newRow("empty") << QByteArray() << X << none << none << none;
        QTest::newRow("shorter than a header") << ref.left(13) << X << none << none << none;
        QTest::newRow("header only") << ref.left(14) << X << none << none << none;
        QTest::newRow("cut in the names") << ref.left(40) << X << none << none << none;
        QTest::newRow("cut after the SMB header") << ref.left(120) << X << none << none << none;
        QTest::newRow("cut in the data") << ref.left(178) << X << none << none << none;
        QTest::newRow("length beyond the payload") << Patched(10, Hex("00a8")) << X << none << none << none;
        QTest::newRow("length cuts the data") << Patched(10, Hex("00a6")) << X << none << none << none;
        QTest::newRow("length of 0") << Patched(10, Hex("0000")) << X << none << none << none;
        QTest::newRow("bytes after the length ignored")
            << ref + "junk" << M << QByteArray("Ann") << QByteArray("Bob") << QByteArray("Hi");
        QTest::newRow("oversized payload") << ref + QByteArray(1024 - 181 + 1, '\0') << X << none << none << none;
        QTest::newRow("largest payload read")
            << ref + QByteArray(1024 - 181, '\0') << M << QByteArray("Ann") << QByteArray("Bob") << QByteArray("Hi");
        QTest::newRow("no NULs in the data")
            << Patched(0xad, "x").replace(0xb1, 1, "x").replace(0xb4, 1, "x") << X << none << none << none;
        QTest::newRow("two strings only") << Patched(0xb4, "!") << X << none << none << none;
        QTest::newRow("bytes after the third NUL")
            << Datagram("\\MAILSLOT\\MESSNGR", QByteArray("Ann\0Bob\0Hi\0x", 12)) << X << none << none << none;
        QTest::newRow("NULs after the third NUL")
            << Datagram("\\MAILSLOT\\MESSNGR", QByteArray("Ann\0Bob\0Hi\0\0\0", 13)) << M << QByteArray("Ann")
            << QByteArray("Bob") << QByteArray("Hi");
        QTest::newRow("three empty strings")
            << Datagram("\\MAILSLOT\\MESSNGR", QByteArray("\0\0\0", 3)) << M << none << none << none;
        QTest::newRow("control characters and high bytes kept")
            << Datagram("\\MAILSLOT\\MESSNGR", QByteArray("\x8f\xe0\0\x1b[1m\0a\r\nb\x07\xff\0", 16)) << M
            << QByteArray("\x8f\xe0") << QByteArray("\x1b[1m") << QByteArray("a\r\nb\x07\xff");
        QTest::newRow("largest data") << Datagram("\\MAILSLOT\\MESSNGR",
                                                  QByteArray("A\0B\0", 4) + QByteArray(419, 'x') + '\0')
                                      << M << QByteArray("A") << QByteArray("B") << QByteArray(419, 'x');
        QTest::newRow("oversized data") << Datagram("\\MAILSLOT\\MESSNGR",
                                                    QByteArray("A\0B\0", 4) + QByteArray(420, 'x') + '\0')
                                        << X << none << none << none;
        QTest::newRow("mailslot name in lower case")
            << Datagram("\\mailslot\\messngr", QByteArray("Ann\0Bob\0Hi\0", 11)) << M << QByteArray("Ann")
            << QByteArray("Bob") << QByteArray("Hi");
        QTest::newRow("another mailslot")
            << Datagram("\\MAILSLOT\\BROWSE", QByteArray("Ann\0Bob\0Hi\0", 11)) << O << none << none << none;
        QTest::newRow("wrong mailslot name") << Patched(0xa7, "X") << O << none << none << none;
        QTest::newRow("mailslot name without its NUL in the bytes")
            << Patched(0x95, Hex("11")) << X << none << none << none;
        QTest::newRow("not SMB") << Patched(0x53, "X") << X << none << none << none;
        QTest::newRow("wrong SMB command") << Patched(0x56, Hex("26")) << X << none << none << none;
        QTest::newRow("wrong word count") << Patched(0x72, Hex("0e")) << X << none << none << none;
        QTest::newRow("not a mailslot write") << Patched(0x8f, Hex("02")) << X << none << none << none;
        QTest::newRow("unknown mailslot class") << Patched(0x93, Hex("03")) << X << none << none << none;
        QTest::newRow("data count beyond the bytes")
            << Patched(0x75, Hex("0c")).replace(0x89, 1, Hex("0c")) << X << none << none << none;
        QTest::newRow("data count not the total") << Patched(0x75, Hex("0a")) << X << none << none << none;
        QTest::newRow("data offset beyond the message") << Patched(0x8b, Hex("f0")) << X << none << none << none;
        QTest::newRow("data offset in the mailslot name") << Patched(0x8b, Hex("50")) << X << none << none << none;
        QTest::newRow("data offset before the bytes") << Patched(0x8b, Hex("02")) << X << none << none << none;
        QTest::newRow("byte count beyond the message") << Patched(0x95, Hex("ff")) << X << none << none << none;
        QTest::newRow("parameters outside the bytes") << Patched(0x85, Hex("2000")) << X << none << none << none;
        QTest::newRow("bad name encoding") << Patched(0x10, "Z") << X << none << none << none;
        QTest::newRow("broadcast datagram")
            << Patched(0, Hex("12")) << M << QByteArray("Ann") << QByteArray("Bob") << QByteArray("Hi");
        QTest::newRow("group datagram") << Patched(0, Hex("11")) << M << QByteArray("Ann") << QByteArray("Bob")
                                        << QByteArray("Hi");
        QTest::newRow("a fragment") << Patched(1, Hex("03")) << O << none << none << none;
        QTest::newRow("a later fragment") << Patched(1, Hex("00")) << O << none << none << none;
        QTest::newRow("a datagram query") << Patched(0, Hex("14")) << O << none << none << none;
        QTest::newRow("no datagram type") << Patched(0, Hex("20")) << X << none << none << none;
        QTest::newRow("a name service packet") << Hex("8001 0110 0001 0000 0000 0000") << X << none << none << none;
    }

    void datagrams() {
        QFETCH(QByteArray, payload);
        QFETCH(DatagramKind, kind);
        const ParsedDatagram parsed = ParseMessengerDatagram(payload);
        QCOMPARE(parsed.kind, kind);
        QCOMPARE(parsed.message.has_value(), kind == DatagramKind::Messenger);
        if (!parsed.message)
            return;
        QTEST(parsed.message->from, "from");
        QTEST(parsed.message->to, "to");
        QTEST(parsed.message->text, "text");
    }
};

PELLORA_TEST_MAIN(MessengerDatagramTest)
#include "MessengerDatagramTest.moc"
