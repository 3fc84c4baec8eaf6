#include "platform/netbios/NetBios.h"

#include "platform/support/Support.h"

#include <QList>

#include <algorithm>

namespace pellora::platform::netbios {

namespace {

void Put8(QByteArray& out, unsigned value) { out.append(static_cast<char>(value & 0xFF)); }
void Put16be(QByteArray& out, unsigned value) {
    Put8(out, value >> 8);
    Put8(out, value);
}
void Put32be(QByteArray& out, std::uint32_t value) {
    Put16be(out, value >> 16);
    Put16be(out, value & 0xFFFF);
}
void Put16le(QByteArray& out, unsigned value) {
    Put8(out, value);
    Put8(out, value >> 8);
}
void Put32le(QByteArray& out, std::uint32_t value) {
    Put16le(out, value & 0xFFFF);
    Put16le(out, value >> 16);
}

// Bounds-checked big-endian reads.
class Reader {
public:
    Reader(const QByteArray& bytes, int offset) : bytes_(bytes), offset_(offset) {}
    bool Has(int count) const { return offset_ >= 0 && count >= 0 && offset_ <= bytes_.size() - count; }
    std::optional<unsigned> U8() {
        if (!Has(1))
            return std::nullopt;
        return static_cast<unsigned char>(bytes_[offset_++]);
    }
    std::optional<unsigned> U16() {
        if (!Has(2))
            return std::nullopt;
        const unsigned value =
            (static_cast<unsigned char>(bytes_[offset_]) << 8) | static_cast<unsigned char>(bytes_[offset_ + 1]);
        offset_ += 2;
        return value;
    }
    std::optional<std::uint32_t> U32() {
        auto high = U16();
        auto low = U16();
        if (!high || !low)
            return std::nullopt;
        return (std::uint32_t(*high) << 16) | *low;
    }
    bool Skip(int count) {
        if (!Has(count))
            return false;
        offset_ += count;
        return true;
    }
    int offset() const { return offset_; }
    void setOffset(int offset) { offset_ = offset; }

private:
    const QByteArray& bytes_;
    int offset_;
};

struct ResponseHeader {
    unsigned questions = 0;
    unsigned answers = 0;
};

// The fixed header of a name service packet (RFC 1002 4.2.1.1).
struct Header {
    std::uint16_t id = 0;
    bool response = false;
    unsigned opcode = 0;
    unsigned rcode = 0;
    unsigned qd = 0, an = 0, ns = 0, ar = 0;
};

std::optional<Header> ReadHeader(Reader& r) {
    auto id = r.U16();
    auto flags = r.U16();
    auto qd = r.U16();
    auto an = r.U16();
    auto ns = r.U16();
    auto ar = r.U16();
    if (!id || !flags || !qd || !an || !ns || !ar)
        return std::nullopt;
    return Header{static_cast<std::uint16_t>(*id),
                  (*flags & 0x8000) != 0,
                  (*flags >> 11) & 0x0F,
                  *flags & 0x0F,
                  *qd,
                  *an,
                  *ns,
                  *ar};
}

// Checks the fixed header of a name service response to `transactionId` and moves past the
// question entries. Positive responses only (opcode query, rcode 0).
std::optional<ResponseHeader> ReadResponseHeader(const QByteArray& message, std::uint16_t transactionId, int& offset) {
    Reader r(message, 0);
    const auto h = ReadHeader(r);
    if (!h || h->id != transactionId || !h->response || h->opcode != 0 || h->rcode != 0 || h->an == 0)
        return std::nullopt;
    offset = r.offset();
    // A response holds no question; tolerate a few.
    if (h->qd > 4)
        return std::nullopt;
    for (unsigned i = 0; i < h->qd; ++i) {
        if (!DecodeName(message, offset))
            return std::nullopt;
        Reader q(message, offset);
        if (!q.Skip(4))
            return std::nullopt;
        offset = q.offset();
    }
    return ResponseHeader{h->qd, h->an};
}

struct ResourceRecord {
    Name name;
    QByteArray scope;
    unsigned type = 0;
    unsigned rrClass = 0;
    int dataOffset = 0;
    int dataLength = 0;
};

std::optional<ResourceRecord> ReadResourceRecord(const QByteArray& message, int& offset) {
    ResourceRecord rr;
    auto name = DecodeName(message, offset, &rr.scope);
    if (!name)
        return std::nullopt;
    rr.name = *name;
    Reader r(message, offset);
    auto type = r.U16();
    auto rrClass = r.U16();
    auto ttl = r.U32();
    auto length = r.U16();
    if (!type || !rrClass || !ttl || !length)
        return std::nullopt;
    rr.type = *type;
    rr.rrClass = *rrClass;
    rr.dataOffset = r.offset();
    rr.dataLength = static_cast<int>(*length);
    if (!r.Skip(rr.dataLength))
        return std::nullopt;
    offset = r.offset();
    return rr;
}

constexpr unsigned kClassIN = 0x0001;

} // namespace

Name MakeNameFromBytes(const QByteArray& oemName, std::uint8_t suffix) {
    QByteArray bytes = oemName.left(15);
    while (bytes.size() < 15)
        bytes.append(' ');
    bytes.append(static_cast<char>(suffix));
    return Name{bytes};
}

Name MakeName(const QString& name, std::uint8_t suffix) {
    return MakeNameFromBytes(ksAnsiToOem(name.toUpper()), suffix);
}

std::optional<Name> MakeExactName(const QString& name, std::uint8_t suffix) {
    const QByteArray bytes = ksAnsiToOem(name.toUpper());
    if (bytes.size() > 15)
        return std::nullopt;
    return MakeNameFromBytes(bytes, suffix);
}

Name WildcardName() {
    QByteArray bytes(16, '\0');
    bytes[0] = '*';
    return Name{bytes};
}

QString Describe(const Name& name) {
    if (name.bytes.size() != 16)
        return QStringLiteral("<invalid>");
    QByteArray base = name.bytes.left(15);
    while (base.endsWith(' ') || base.endsWith('\0'))
        base.chop(1);
    return QString::fromLatin1(base) +
           QStringLiteral("<%1>").arg(static_cast<unsigned char>(name.bytes[15]), 2, 16, QLatin1Char('0'));
}

QByteArray EncodeName(const Name& name) {
    QByteArray out;
    out.reserve(34);
    out.append(char(0x20));
    for (int i = 0; i < 16; ++i) {
        const auto byte = static_cast<unsigned char>(i < name.bytes.size() ? name.bytes[i] : ' ');
        out.append(static_cast<char>('A' + (byte >> 4)));
        out.append(static_cast<char>('A' + (byte & 0x0F)));
    }
    out.append('\0');
    return out;
}

std::optional<Name> DecodeName(const QByteArray& message, int& offset, QByteArray* scope) {
    if (offset < 0 || offset >= message.size())
        return std::nullopt;
    int at = offset;
    int after = -1; // where the name ends in the message when a pointer was followed
    const auto first = static_cast<unsigned char>(message[at]);
    if ((first & 0xC0) == 0xC0) {
        if (at + 1 >= message.size())
            return std::nullopt;
        const int target = ((first & 0x3F) << 8) | static_cast<unsigned char>(message[at + 1]);
        if (target >= at) // only backwards, so that no pointer can loop
            return std::nullopt;
        after = at + 2;
        at = target;
    }
    if (at + 34 > message.size() || static_cast<unsigned char>(message[at]) != 0x20)
        return std::nullopt;
    QByteArray bytes;
    bytes.reserve(16);
    for (int i = 0; i < 16; ++i) {
        const char high = message[at + 1 + 2 * i];
        const char low = message[at + 2 + 2 * i];
        if (high < 'A' || high > 'P' || low < 'A' || low > 'P')
            return std::nullopt;
        bytes.append(static_cast<char>(((high - 'A') << 4) | (low - 'A')));
    }
    at += 33;
    QByteArray labels;
    for (;;) {
        if (at >= message.size())
            return std::nullopt;
        const auto length = static_cast<unsigned char>(message[at]);
        if (length == 0) {
            ++at;
            break;
        }
        if (length > 63 || at + 1 + length > message.size() || labels.size() + length + 1 > 255)
            return std::nullopt;
        if (!labels.isEmpty())
            labels.append('.');
        labels.append(message.mid(at + 1, length));
        at += 1 + length;
    }
    if (scope)
        *scope = labels;
    offset = after >= 0 ? after : at;
    return Name{bytes};
}

QByteArray SmbMailslotName(const QString& mailslot) { return "\\MAILSLOT\\" + mailslot.toUpper().toLatin1(); }

int MaxMailslotData(const QByteArray& mailslotName) {
    // SMB header 32, WordCount 1, 17 words, ByteCount 2, the name and its 0x00, padding to 4.
    const int beforeData = 32 + 1 + 34 + 2 + static_cast<int>(mailslotName.size()) + 1;
    const int padding = (4 - beforeData % 4) % 4;
    return kMaxSmbMessage - beforeData - padding;
}

QByteArray BuildMailslotWrite(const QByteArray& mailslotName, const QByteArray& data) {
    const int nameBytes = static_cast<int>(mailslotName.size()) + 1;
    const int beforeData = 32 + 1 + 34 + 2 + nameBytes;
    const int padding = (4 - beforeData % 4) % 4;
    const int dataOffset = beforeData + padding;
    const auto dataCount = static_cast<unsigned>(data.size());

    QByteArray out;
    out.reserve(dataOffset + data.size());
    // Header
    out.append("\xFFSMB", 4);
    Put8(out, 0x25);      // SMB_COM_TRANSACTION
    Put32le(out, 0);      // status
    Put8(out, 0x18);      // flags: case-insensitive, canonicalized paths
    Put16le(out, 0x0004); // flags2
    Put16le(out, 0);      // PIDHigh
    out.append(8, '\0');  // security features
    Put16le(out, 0);      // reserved
    Put16le(out, 0);      // TID
    Put16le(out, 0xFEFF); // PIDLow
    Put16le(out, 0);      // UID
    Put16le(out, 0);      // MID
    // Parameters
    Put8(out, 17);                                                        // WordCount
    Put16le(out, 0);                                                      // TotalParameterCount
    Put16le(out, dataCount);                                              // TotalDataCount
    Put16le(out, 2);                                                      // MaxParameterCount
    Put16le(out, 0);                                                      // MaxDataCount
    Put8(out, 0);                                                         // MaxSetupCount
    Put8(out, 0);                                                         // Reserved1
    Put16le(out, 0x0002);                                                 // Flags: no response
    Put32le(out, 0);                                                      // Timeout
    Put16le(out, 0);                                                      // Reserved2
    Put16le(out, 0);                                                      // ParameterCount
    Put16le(out, dataOffset);                                             // ParameterOffset
    Put16le(out, dataCount);                                              // DataCount
    Put16le(out, dataOffset);                                             // DataOffset
    Put8(out, 3);                                                         // SetupCount
    Put8(out, 0);                                                         // Reserved3
    Put16le(out, 1);                                                      // opcode: mailslot write
    Put16le(out, 0);                                                      // priority
    Put16le(out, 2);                                                      // class 2: unreliable, broadcast
    Put16le(out, static_cast<unsigned>(nameBytes + padding) + dataCount); // ByteCount
    // Data
    out.append(mailslotName);
    out.append('\0');
    out.append(padding, '\0');
    out.append(data);
    return out;
}

QByteArray BuildDatagram(const DatagramHeader& header, const QByteArray& smbMessage) {
    const QByteArray source = EncodeName(header.sourceName);
    const QByteArray destination = EncodeName(header.destinationName);
    QByteArray out;
    out.reserve(14 + source.size() + destination.size() + smbMessage.size());
    Put8(out, header.type);
    Put8(out, 0x02); // FLAGS: first fragment, no more fragments, B node
    Put16be(out, header.id);
    Put32be(out, header.sourceAddress);
    Put16be(out, header.sourcePort);
    Put16be(out, static_cast<unsigned>(source.size() + destination.size() + smbMessage.size())); // DGM_LENGTH
    Put16be(out, 0);                                                                             // PACKET_OFFSET
    out.append(source);
    out.append(destination);
    out.append(smbMessage);
    return out;
}

std::optional<QByteArray> BuildMailslotDatagram(const DatagramHeader& header, const QByteArray& mailslotName,
                                                const QByteArray& data) {
    if (data.size() > MaxMailslotData(mailslotName))
        return std::nullopt;
    return BuildDatagram(header, BuildMailslotWrite(mailslotName, data));
}

QByteArray BuildNameQuery(std::uint16_t transactionId, const Name& name) {
    QByteArray out;
    out.reserve(50);
    Put16be(out, transactionId);
    Put16be(out, 0x0110); // query, RD, B
    Put16be(out, 1);      // QDCOUNT
    Put16be(out, 0);
    Put16be(out, 0);
    Put16be(out, 0);
    out.append(EncodeName(name));
    Put16be(out, kTypeNb);
    Put16be(out, kClassIN);
    return out;
}

QByteArray BuildNodeStatusRequest(std::uint16_t transactionId) {
    QByteArray out;
    out.reserve(50);
    Put16be(out, transactionId);
    Put16be(out, 0x0000);
    Put16be(out, 1);
    Put16be(out, 0);
    Put16be(out, 0);
    Put16be(out, 0);
    out.append(EncodeName(WildcardName()));
    Put16be(out, kTypeNbstat);
    Put16be(out, kClassIN);
    return out;
}

std::optional<NameQueryAnswer> ParseNameQueryResponse(const QByteArray& message, std::uint16_t transactionId,
                                                      const Name& name) {
    int offset = 0;
    auto header = ReadResponseHeader(message, transactionId, offset);
    if (!header)
        return std::nullopt;
    for (unsigned i = 0; i < header->answers && i < 16; ++i) {
        auto rr = ReadResourceRecord(message, offset);
        if (!rr)
            return std::nullopt;
        if (rr->name != name || !rr->scope.isEmpty() || rr->type != kTypeNb || rr->rrClass != kClassIN)
            continue;
        if (rr->dataLength < 6)
            continue;
        Reader data(message, rr->dataOffset);
        const unsigned flags = *data.U16();
        const std::uint32_t address = *data.U32();
        if (address == 0 || address == 0xFFFFFFFFu)
            continue;
        return NameQueryAnswer{address, (flags & 0x8000) != 0};
    }
    return std::nullopt;
}

std::optional<std::vector<NodeStatusEntry>> ParseNodeStatusResponse(const QByteArray& message,
                                                                    std::uint16_t transactionId) {
    int offset = 0;
    auto header = ReadResponseHeader(message, transactionId, offset);
    if (!header)
        return std::nullopt;
    auto rr = ReadResourceRecord(message, offset);
    if (!rr || rr->type != kTypeNbstat || rr->rrClass != kClassIN || rr->name.bytes[0] != '*' || !rr->scope.isEmpty())
        return std::nullopt;
    Reader data(message, rr->dataOffset);
    auto count = data.U8();
    if (!count || *count == 0 || 1 + int(*count) * 18 > rr->dataLength)
        return std::nullopt;
    std::vector<NodeStatusEntry> table;
    table.reserve(*count);
    for (unsigned i = 0; i < *count; ++i) {
        NodeStatusEntry entry;
        entry.name = Name{message.mid(data.offset(), 16)};
        data.Skip(16);
        entry.flags = static_cast<std::uint16_t>(*data.U16());
        table.push_back(entry);
    }
    return table;
}

std::optional<Name> UniqueWorkstationName(const std::vector<NodeStatusEntry>& table) {
    for (const NodeStatusEntry& entry : table) {
        if (entry.name.bytes.size() == 16 && entry.name.bytes[15] == '\0' && !entry.group() &&
            (entry.flags & 0x1800) == 0)
            return entry.name;
    }
    return std::nullopt;
}

namespace {

void PutHeader(QByteArray& out, std::uint16_t id, unsigned flags, unsigned qd, unsigned an, unsigned ar) {
    Put16be(out, id);
    Put16be(out, flags);
    Put16be(out, qd);
    Put16be(out, an);
    Put16be(out, 0);
    Put16be(out, ar);
}

// An NB record's type, class, TTL, length and data: a unique B-node name at `address`.
void PutNbRecord(QByteArray& out, std::uint32_t ttl, std::uint32_t address) {
    Put16be(out, kTypeNb);
    Put16be(out, kClassIN);
    Put32be(out, ttl);
    Put16be(out, 6);
    Put16be(out, 0x0000); // unique, B-node
    Put32be(out, address);
}

// How long another node may keep an answer of ours: an hour, long enough for a cache and short
// enough for an address that changes.
constexpr std::uint32_t kAnswerTtl = 3600;

QByteArray NameRequest(std::uint16_t id, unsigned flags, const Name& name, std::uint32_t address) {
    QByteArray out;
    out.reserve(68);
    PutHeader(out, id, flags, 1, 0, 1);
    out.append(EncodeName(name));
    Put16be(out, kTypeNb);
    Put16be(out, kClassIN);
    Put16be(out, 0xC00C); // the record's name: the question's, by a pointer
    PutNbRecord(out, 0, address);
    return out;
}

QByteArray NameAnswer(std::uint16_t id, unsigned flags, const Name& name, std::uint32_t ttl, std::uint32_t address) {
    QByteArray out;
    out.reserve(62);
    PutHeader(out, id, flags, 0, 1, 0);
    out.append(EncodeName(name));
    PutNbRecord(out, ttl, address);
    return out;
}

} // namespace

QByteArray BuildNameRegistration(std::uint16_t transactionId, const Name& name, std::uint32_t address) {
    return NameRequest(transactionId, 0x2910, name, address);
}

QByteArray BuildNameRelease(std::uint16_t transactionId, const Name& name, std::uint32_t address) {
    return NameRequest(transactionId, 0x3010, name, address);
}

QByteArray BuildNameQueryResponse(std::uint16_t transactionId, const Name& name, std::uint32_t address) {
    return NameAnswer(transactionId, 0x8500, name, kAnswerTtl, address);
}

QByteArray BuildNegativeRegistrationResponse(std::uint16_t transactionId, const Name& name, std::uint32_t address) {
    return NameAnswer(transactionId, 0xAD86, name, 0, address);
}

QByteArray BuildNodeStatusResponse(std::uint16_t transactionId, const Name& asked, const std::vector<Name>& names) {
    constexpr int kStatistics = 46;
    const int count = static_cast<int>(std::min<std::size_t>(names.size(), 255));
    QByteArray out;
    PutHeader(out, transactionId, 0x8400, 0, 1, 0);
    out.append(EncodeName(asked));
    Put16be(out, kTypeNbstat);
    Put16be(out, kClassIN);
    Put32be(out, 0);
    Put16be(out, static_cast<unsigned>(1 + count * 18 + kStatistics));
    Put8(out, static_cast<unsigned>(count));
    for (int i = 0; i < count; ++i) {
        out.append(names[static_cast<std::size_t>(i)].bytes);
        Put16be(out, 0x0400); // unique, B-node, active
    }
    out.append(QByteArray(kStatistics, '\0'));
    return out;
}

std::optional<NamePacket> ParseNamePacket(const QByteArray& message) {
    Reader r(message, 0);
    const auto h = ReadHeader(r);
    if (!h)
        return std::nullopt;
    NamePacket packet;
    packet.id = h->id;
    packet.response = h->response;
    packet.opcode = h->opcode;
    packet.rcode = h->rcode;
    int offset = r.offset();
    if (h->qd + h->an + h->ns + h->ar == 0 || h->qd > 1 || h->an > 1 || h->ns > 0 || h->ar > 1)
        return std::nullopt;
    if (h->qd == 1) {
        QByteArray scope;
        auto name = DecodeName(message, offset, &scope);
        if (!name || !scope.isEmpty())
            return std::nullopt;
        Reader q(message, offset);
        auto type = q.U16();
        auto rrClass = q.U16();
        if (!type || !rrClass || *rrClass != kClassIN)
            return std::nullopt;
        packet.name = *name;
        packet.type = *type;
        offset = q.offset();
    }
    if (h->an + h->ar == 1) {
        auto rr = ReadResourceRecord(message, offset);
        if (!rr || !rr->scope.isEmpty() || rr->rrClass != kClassIN)
            return std::nullopt;
        if (h->qd == 1 && (rr->name != packet.name || rr->type != packet.type))
            return std::nullopt;
        packet.name = rr->name;
        packet.type = rr->type;
        if (rr->type == kTypeNb) {
            if (rr->dataLength < 6)
                return std::nullopt;
            Reader data(message, rr->dataOffset);
            packet.group = (*data.U16() & 0x8000) != 0;
            packet.address = *data.U32();
        }
    } else if (h->an + h->ar > 1) {
        return std::nullopt;
    }
    return packet;
}

SambaNames ParseSmbConf(const QByteArray& text) {
    SambaNames names;
    // Join continued lines (a backslash at the end of a line).
    QList<QByteArray> lines;
    QByteArray current;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.endsWith('\\')) {
            line.chop(1);
            current += line;
            continue;
        }
        current += line;
        lines.append(current);
        current.clear();
    }
    if (!current.isEmpty())
        lines.append(current);

    bool global = true; // parameters before any section belong to [global]
    for (const QByteArray& raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';'))
            continue;
        if (line.startsWith('[')) {
            const qsizetype end = line.indexOf(']');
            const QByteArray section = line.mid(1, end < 0 ? -1 : end - 1).trimmed().toLower();
            global = section == "global";
            continue;
        }
        if (!global)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        QByteArray key = line.left(equals).toLower();
        key.replace(' ', "");
        key.replace('\t', "");
        const QString value = QString::fromUtf8(line.mid(equals + 1).trimmed());
        if (key == "netbiosname")
            names.netbiosName = value;
        else if (key == "workgroup")
            names.workgroup = value;
    }
    return names;
}

QString AddressText(std::uint32_t address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

bool IsThisComputer(std::uint32_t address, const std::vector<std::uint32_t>& own) {
    return (address >> 24) == 127 || std::find(own.begin(), own.end(), address) != own.end();
}

} // namespace pellora::platform::netbios
