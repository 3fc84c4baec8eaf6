#include "FuzzEntries.h"

#include "platform/components/HistoryList.h"
#include "platform/netbios/MessengerDatagram.h"
#include "platform/netbios/NameResponder.h"
#include "platform/netbios/NetBios.h"
#include "platform/posix/CodePages.h"
#include "platform/posix/Mailslot.h"
#include "platform/runtime/Error.h"
#include "platform/support/OemText.h"
#include "platform/support/Support.h"
#include "sending/Packet.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <iconv.h>

#include <algorithm>
#include <exception>
#include <iterator>
#include <string>
#include <vector>

namespace pellora::fuzzing {

namespace nb = platform::netbios;

namespace {

QByteArray Bytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

std::uint16_t Id(const QByteArray& message) {
    if (message.size() < 2)
        return 0;
    return static_cast<std::uint16_t>((static_cast<unsigned char>(message[0]) << 8) |
                                      static_cast<unsigned char>(message[1]));
}

QString Hex(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex()); }

// The OEM code pages the program can meet (those of the locales it knows), single-byte first.
constexpr int kCodePages[] = {437, 850, 852, 855, 857, 858, 860, 861, 862, 863, 864,
                              865, 866, 869, 720, 737, 775, 874, 932, 936, 949, 950};
constexpr int kSingleByteCodePages = 18;

// The conversion loads the code page's gconv module on each call and unloads it afterwards,
// which makes up most of the time of a run. One converter per page, held for the life of the
// process, keeps the modules loaded.
void KeepCodePagesLoaded() {
    struct Held {
        std::vector<iconv_t> converters;
        Held() {
            for (const int page : kCodePages)
                converters.push_back(::iconv_open(("CP" + std::to_string(page)).c_str(), "UTF-8"));
        }
        ~Held() {
            for (const iconv_t converter : converters) {
                if (converter != reinterpret_cast<iconv_t>(-1))
                    ::iconv_close(converter);
            }
        }
    };
    static const Held held;
}

} // namespace

QString HistoryFile(const std::uint8_t* data, std::size_t size) {
    bool damaged = false;
    const QStringList entries = platform::HistoryList::Parse(Bytes(data, size), &damaged);
    if (entries.size() > platform::HistoryList::MaxEntries)
        return QStringLiteral("%1 entries read").arg(entries.size());
    if (QStringList(entries).removeDuplicates() != 0)
        return QStringLiteral("the same entry read twice");
    const QByteArray written = platform::HistoryList::Serialize(entries);
    bool damagedAgain = true;
    const QStringList reread = platform::HistoryList::Parse(written, &damagedAgain);
    if (damagedAgain)
        return QStringLiteral("a written file reads as damaged: %1").arg(Hex(written));
    if (reread != entries)
        return QStringLiteral("entries changed on the way through a file: %1").arg(Hex(written));
    if (!damaged && platform::HistoryList::Serialize(reread) != written)
        return QStringLiteral("writing the same entries twice gave different files");
    return {};
}

QString NameQueryReply(const std::uint8_t* data, std::size_t size) {
    const QByteArray message = Bytes(data, size);
    const std::uint16_t id = Id(message);
    // The name the answer carries (after the 12-byte header, when it holds no question), and
    // a fixed one, so that both the matching and the non-matching paths are taken.
    QList<nb::Name> names{nb::MakeName(QStringLiteral("PC7"))};
    int offset = 12;
    if (auto carried = nb::DecodeName(message, offset)) {
        if (carried->bytes.size() != 16)
            return QStringLiteral("a decoded name of %1 bytes").arg(carried->bytes.size());
        if (offset <= 12 || offset > message.size())
            return QStringLiteral("the decoder left the offset at %1 of %2").arg(offset).arg(message.size());
        names.append(*carried);
    }
    for (const nb::Name& name : names) {
        const auto answer = nb::ParseNameQueryResponse(message, id, name);
        if (!answer)
            continue;
        if (answer->address == 0 || answer->address == 0xFFFFFFFFu)
            return QStringLiteral("an answer with address %1").arg(answer->address);
        // An answer to another request is never one.
        if (nb::ParseNameQueryResponse(message, static_cast<std::uint16_t>(id ^ 0x8001u), name))
            return QStringLiteral("an answer accepted for another transaction id");
    }
    return {};
}

QString NodeStatusReply(const std::uint8_t* data, std::size_t size) {
    const QByteArray message = Bytes(data, size);
    const std::uint16_t id = Id(message);
    const auto table = nb::ParseNodeStatusResponse(message, id);
    if (!table)
        return {};
    if (table->empty() || table->size() > 255)
        return QStringLiteral("a name table of %1 entries").arg(table->size());
    // 12 header bytes, the wildcard name (34), type, class, TTL, length (10), the count byte.
    if (static_cast<qsizetype>(table->size()) * 18 + 57 > message.size())
        return QStringLiteral("%1 entries read from %2 bytes").arg(table->size()).arg(message.size());
    for (const nb::NodeStatusEntry& entry : *table) {
        if (entry.name.bytes.size() != 16)
            return QStringLiteral("a table name of %1 bytes").arg(entry.name.bytes.size());
    }
    if (const auto name = nb::UniqueWorkstationName(*table)) {
        if (name->bytes.size() != 16 || name->bytes[15] != '\0')
            return QStringLiteral("a workstation name that is none: %1").arg(Hex(name->bytes));
    }
    if (nb::ParseNodeStatusResponse(message, static_cast<std::uint16_t>(id ^ 0x8001u)))
        return QStringLiteral("an answer accepted for another transaction id");
    return {};
}

QString Builders(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return {};
    KeepCodePagesLoaded();
    const auto* units = reinterpret_cast<const char16_t*>(data);
    std::size_t count = size / 2;
    char16_t first = 0;
    std::copy_n(reinterpret_cast<const char*>(data), 2, reinterpret_cast<char*>(&first));
    const int codePage = kCodePages[first % std::size(kCodePages)];
    const bool singleByte = first % std::size(kCodePages) < kSingleByteCodePages;

    // The four fields, any UTF-16 (lone surrogates included) but U+FFFF, which separates them.
    QStringList fields;
    QString text;
    for (std::size_t i = 1; i < count; ++i) {
        char16_t unit = 0;
        std::copy_n(reinterpret_cast<const char*>(units + i), 2, reinterpret_cast<char*>(&unit));
        if (unit == 0xFFFF && fields.size() < 3) {
            fields.append(text);
            text.clear();
        } else {
            text.append(QChar(unit));
        }
    }
    fields.append(text);
    while (fields.size() < 4)
        fields.append(QString());
    const QString& from = fields[0];
    const QString& to = fields[1];
    const QString& computer = fields[2];
    const QString& message = fields[3];

    try {
        for (const QString& field : fields) {
            const QByteArray oem = platform::oem::ToCodePage(field, codePage);
            if (singleByte && oem.size() != field.toUcs4().size())
                return QStringLiteral("code page %1 gave %2 bytes for %3 characters")
                    .arg(codePage)
                    .arg(oem.size())
                    .arg(field.toUcs4().size());
            if (oem.count('\0') != field.count(QChar(u'\0')))
                return QStringLiteral("code page %1 added or dropped a zero byte").arg(codePage);
        }
    } catch (const Error&) {
        // This system's iconv lacks the page: the program reports that as an error.
    }

    const QByteArray packet = sending::BuildMessengerPacket(from, to, message);
    if (packet.count('\0') != 3 || !packet.endsWith('\0'))
        return QStringLiteral("a Messenger packet with %1 zero bytes").arg(packet.count('\0'));
    const QByteArray oemFrom = ksAnsiToOem(QString(from).remove(QChar(u'\0')));
    if (!packet.startsWith(oemFrom + '\0'))
        return QStringLiteral("the packet does not start with the sender");

    const QString path = sending::MailslotPath(computer);
    const auto parsed = platform::ParseMailslotPath(path);
    if (parsed.has_value() == computer.isEmpty())
        return QStringLiteral("the path %1 was %2").arg(path, parsed ? u"understood" : u"not understood");
    if (parsed && (parsed->computer != computer || parsed->mailslot != u"messngr"))
        return QStringLiteral("the path %1 names %2 and %3").arg(path, parsed->computer, parsed->mailslot);

    nb::DatagramHeader header;
    header.id = 0x1234;
    header.sourceAddress = 0x0AD50701;
    header.sourceName = nb::MakeName(from, 0x03);
    header.destinationName = nb::MakeName(computer, 0x03);
    for (const nb::Name* name : {&header.sourceName, &header.destinationName}) {
        if (name->bytes.size() != 16)
            return QStringLiteral("a NetBIOS name of %1 bytes").arg(name->bytes.size());
        const QByteArray encoded = nb::EncodeName(*name);
        int offset = 0;
        const auto decoded = nb::DecodeName(encoded, offset);
        if (encoded.size() != 34 || !decoded || *decoded != *name || offset != 34)
            return QStringLiteral("the name %1 does not survive its encoding").arg(Hex(name->bytes));
    }
    const QByteArray query = nb::BuildNameQuery(0x4321, header.destinationName);
    if (query.size() != 50)
        return QStringLiteral("a name query of %1 bytes").arg(query.size());

    const QByteArray mailslot = platform::netbios::SmbMailslotName(QStringLiteral("messngr"));
    const auto datagram = nb::BuildMailslotDatagram(header, mailslot, packet);
    const bool fits = packet.size() <= nb::MaxMailslotData(mailslot);
    if (datagram.has_value() != fits)
        return QStringLiteral("a packet of %1 bytes %2 a datagram")
            .arg(packet.size())
            .arg(fits ? QStringLiteral("did not get") : QStringLiteral("got"));
    if (datagram) {
        // 14 header bytes, two encoded names, the SMB message of at most 512 bytes.
        if (datagram->size() > 14 + 34 + 34 + nb::kMaxSmbMessage)
            return QStringLiteral("a datagram of %1 bytes").arg(datagram->size());
        if (!datagram->endsWith(packet))
            return QStringLiteral("the datagram does not end with the packet");
    }
    return {};
}

QString MessengerDatagram(const std::uint8_t* data, std::size_t size) {
    const QByteArray payload = Bytes(data, size);
    const nb::ParsedDatagram parsed = nb::ParseMessengerDatagram(payload);
    if (parsed.message.has_value() != (parsed.kind == nb::DatagramKind::Messenger))
        return QStringLiteral("a message and a verdict that disagree");
    if (!parsed.message)
        return {};
    const nb::MessengerDatagram& m = *parsed.message;
    if (payload.size() > nb::kMaxReceivedDatagram)
        return QStringLiteral("a message accepted from %1 bytes").arg(payload.size());
    for (const QByteArray* field : {&m.from, &m.to, &m.text}) {
        if (field->contains('\0'))
            return QStringLiteral("a field with a NUL: %1").arg(Hex(*field));
    }
    const QByteArray packet = m.from + '\0' + m.to + '\0' + m.text + '\0';
    if (packet.size() > nb::kMaxMessengerData)
        return QStringLiteral("a message of %1 bytes").arg(packet.size());
    if (m.sourceName.bytes.size() != 16 || m.destinationName.bytes.size() != 16)
        return QStringLiteral("a name that is not 16 bytes");
    nb::DatagramHeader header;
    header.type = m.type;
    header.sourceAddress = m.sourceAddress;
    header.sourcePort = m.sourcePort;
    header.sourceName = m.sourceName;
    header.destinationName = m.destinationName;
    const auto rebuilt = nb::BuildMailslotDatagram(header, "\\MAILSLOT\\MESSNGR", packet);
    if (!rebuilt)
        return QStringLiteral("an accepted message that does not fit a mailslot write");
    const nb::ParsedDatagram again = nb::ParseMessengerDatagram(*rebuilt);
    if (!again.message || again.message->from != m.from || again.message->to != m.to || again.message->text != m.text ||
        again.message->sourceName != m.sourceName || again.message->sourceAddress != m.sourceAddress)
        return QStringLiteral("the rebuilt datagram reads differently: %1").arg(Hex(*rebuilt));
    KeepCodePagesLoaded();
    for (const int page : {437, 866, 932}) {
        const QString text = platform::oem::FromCodePage(m.text, page);
        if (m.text.size() > 0 && text.isEmpty())
            return QStringLiteral("code page %1 decoded %2 to nothing").arg(page).arg(Hex(m.text));
        if (page != 932 && text.size() != m.text.size())
            return QStringLiteral("code page %1 gave %2 characters for %3 bytes")
                .arg(page)
                .arg(text.size())
                .arg(m.text.size());
    }
    try {
        (void)platform::SystemOemToText(m.from);
    } catch (const Error&) {
        // This system's iconv lacks the page: the receiver reports that as an error.
    }
    return {};
}

QString NameServiceRequest(const std::uint8_t* data, std::size_t size) {
    const QByteArray message = Bytes(data, size);
    constexpr std::uint32_t kThis = 0x0A000007, kAsker = 0x0A000009;
    for (const bool toBroadcast : {false, true}) {
        nb::NameResponder responder(QStringLiteral("PC7"), {0x7F000001, kThis}, 0x7000);
        responder.FinishRegistration();
        const auto out = responder.Take(message, kAsker, 137, kThis, toBroadcast);
        if (out.size() > 1)
            return QStringLiteral("%1 answers to one datagram").arg(out.size());
        if (responder.state() != nb::NameResponder::State::Active)
            return QStringLiteral("a datagram made the registered name go");
        if (out.empty())
            continue;
        if (out.front().address != kAsker || out.front().port != 137)
            return QStringLiteral("an answer to %1:%2").arg(out.front().address).arg(out.front().port);
        const auto answer = nb::ParseNamePacket(out.front().bytes);
        if (!answer || !answer->response)
            return QStringLiteral("an answer that does not read as one: %1").arg(Hex(out.front().bytes));
        if (answer->type == nb::kTypeNbstat) {
            // Asked by the wildcard (as senders ask an address), read as a sender reads it.
            if (toBroadcast ||
                (answer->name == nb::WildcardName() && !nb::ParseNodeStatusResponse(out.front().bytes, answer->id)))
                return QStringLiteral("a node status answer the sender cannot read: %1").arg(Hex(out.front().bytes));
        } else if (answer->address != kThis || answer->group ||
                   answer->name.bytes.left(15) != nb::MakeName(QStringLiteral("PC7")).bytes.left(15)) {
            return QStringLiteral("an answer for another name or address: %1").arg(Hex(out.front().bytes));
        }
    }
    return {};
}

} // namespace pellora::fuzzing
