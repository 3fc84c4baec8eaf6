#include "platform/netbios/MessengerDatagram.h"

namespace pellora::platform::netbios {

namespace {

constexpr int kDatagramHeader = 14;
constexpr int kSmbHeader = 32;
constexpr unsigned char kSmbComTransaction = 0x25;
constexpr unsigned kTransactionWords = 17; // 14 parameter words and 3 setup words
constexpr unsigned kMailslotWrite = 1;

unsigned U8(const QByteArray& bytes, int at) { return static_cast<unsigned char>(bytes[at]); }
unsigned U16be(const QByteArray& bytes, int at) { return (U8(bytes, at) << 8) | U8(bytes, at + 1); }
unsigned U16le(const QByteArray& bytes, int at) { return U8(bytes, at) | (U8(bytes, at + 1) << 8); }

ParsedDatagram Malformed() { return ParsedDatagram{DatagramKind::Malformed, std::nullopt}; }
ParsedDatagram Other() { return ParsedDatagram{DatagramKind::Other, std::nullopt}; }

// The SMB part of a datagram: an SMB_COM_TRANSACTION mailslot write to \MAILSLOT\MESSNGR and its
// three strings.
ParsedDatagram ParseMailslotWrite(const QByteArray& smb, MessengerDatagram message) {
    if (smb.size() > kMaxSmbMessage || smb.size() < kSmbHeader + 1)
        return Malformed();
    if (!smb.startsWith("\xFFSMB"))
        return Malformed();
    if (U8(smb, 4) != kSmbComTransaction)
        return Malformed();
    // Parameter words: the count, then 17 words (34 bytes), then ByteCount.
    const int words = kSmbHeader + 1;
    if (U8(smb, kSmbHeader) != kTransactionWords || smb.size() < words + 34 + 2)
        return Malformed();
    const unsigned totalDataCount = U16le(smb, words + 2);
    const unsigned parameterCount = U16le(smb, words + 18);
    const unsigned parameterOffset = U16le(smb, words + 20);
    const unsigned dataCount = U16le(smb, words + 22);
    const unsigned dataOffset = U16le(smb, words + 24);
    const unsigned setupCount = U8(smb, words + 26);
    const unsigned opcode = U16le(smb, words + 28);
    const unsigned mailslotClass = U16le(smb, words + 32);
    const int bytesAt = words + 34 + 2;
    const unsigned byteCount = U16le(smb, words + 34);
    if (setupCount != 3 || opcode != kMailslotWrite || (mailslotClass != 1 && mailslotClass != 2))
        return Malformed();
    if (bytesAt + static_cast<int>(byteCount) > smb.size())
        return Malformed();
    const int bytesEnd = bytesAt + static_cast<int>(byteCount);
    // The mailslot's name, NUL-terminated, first in the bytes.
    const int nameEnd = static_cast<int>(smb.indexOf('\0', bytesAt));
    if (nameEnd < 0 || nameEnd >= bytesEnd)
        return Malformed();
    if (smb.mid(bytesAt, nameEnd - bytesAt).toUpper() != "\\MAILSLOT\\MESSNGR")
        return Other();
    // One piece of data, inside the bytes and after the name; no parameters outside them.
    if (dataCount != totalDataCount || dataCount > static_cast<unsigned>(kMaxMessengerData))
        return Malformed();
    if (dataOffset <= static_cast<unsigned>(nameEnd) || dataOffset + dataCount > static_cast<unsigned>(bytesEnd))
        return Malformed();
    if (parameterCount != 0 && (parameterOffset < static_cast<unsigned>(bytesAt) ||
                                parameterOffset + parameterCount > static_cast<unsigned>(bytesEnd)))
        return Malformed();
    return ParseMessengerData(smb.mid(static_cast<int>(dataOffset), static_cast<int>(dataCount)), std::move(message));
}

} // namespace

ParsedDatagram ParseMessengerData(const QByteArray& data, MessengerDatagram message) {
    if (data.size() > kMaxMessengerData)
        return Malformed();
    // Exactly three NUL-terminated strings, and nothing after the third NUL but NULs.
    const qsizetype first = data.indexOf('\0');
    const qsizetype second = first < 0 ? -1 : data.indexOf('\0', first + 1);
    const qsizetype third = second < 0 ? -1 : data.indexOf('\0', second + 1);
    if (third < 0)
        return Malformed();
    for (qsizetype i = third + 1; i < data.size(); ++i) {
        if (data[i] != '\0')
            return Malformed();
    }
    message.from = data.left(first);
    message.to = data.mid(first + 1, second - first - 1);
    message.text = data.mid(second + 1, third - second - 1);
    return ParsedDatagram{DatagramKind::Messenger, std::move(message)};
}

ParsedDatagram ParseMessengerDatagram(const QByteArray& payload) {
    if (payload.size() > kMaxReceivedDatagram || payload.size() < kDatagramHeader)
        return Malformed();
    const unsigned type = U8(payload, 0);
    if (type < 0x10 || type > 0x16)
        return Malformed();
    if (type > 0x12)
        return Other(); // an error or a name query of the datagram service
    const unsigned flags = U8(payload, 1);
    if ((flags & 0x02) == 0 || (flags & 0x01) != 0 || U16be(payload, 12) != 0)
        return Other(); // a fragment: Messenger messages come whole
    MessengerDatagram message;
    message.type = static_cast<std::uint8_t>(type);
    message.sourceAddress = (std::uint32_t(U16be(payload, 4)) << 16) | U16be(payload, 6);
    message.sourcePort = static_cast<std::uint16_t>(U16be(payload, 8));
    const int length = static_cast<int>(U16be(payload, 10));
    if (length > payload.size() - kDatagramHeader)
        return Malformed();
    const QByteArray datagram = payload.left(kDatagramHeader + length);
    int offset = kDatagramHeader;
    QByteArray sourceScope, destinationScope;
    auto source = DecodeName(datagram, offset, &sourceScope);
    if (!source)
        return Malformed();
    auto destination = DecodeName(datagram, offset, &destinationScope);
    if (!destination)
        return Malformed();
    if (!sourceScope.isEmpty() || !destinationScope.isEmpty())
        return Other();
    message.sourceName = *source;
    message.destinationName = *destination;
    return ParseMailslotWrite(datagram.mid(offset), std::move(message));
}

} // namespace pellora::platform::netbios
