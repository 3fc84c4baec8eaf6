#pragma once

// The NetBIOS name and datagram services (RFC 1001/1002) as far as a remote mailslot write
// needs them, and the SMB mailslot write ([MS-MAIL] 2.2.1) that a datagram carries.
// Everything here builds or parses bytes only: no sockets, so tests and fuzzers call it directly.
// Addresses are IPv4 in host byte order.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace pellora::platform::netbios {

constexpr std::uint16_t kNameServicePort = 137;
constexpr std::uint16_t kDatagramServicePort = 138;

// The largest SMB message a mailslot datagram between computers may carry, and what that
// leaves for the data of the "messngr" mailslot.
constexpr int kMaxSmbMessage = 512;
constexpr int kMaxMessengerData = 424;

// Datagram message types (RFC 1002 4.4.1).
constexpr std::uint8_t kDirectUnique = 0x10;
constexpr std::uint8_t kDirectGroup = 0x11;

// A NetBIOS name: 15 bytes padded with blanks, then the suffix byte.
struct Name {
    QByteArray bytes; // always 16 bytes
    bool operator==(const Name&) const = default;
};

// `name` uppercased, in the OEM code page, blank-padded or cut to 15 bytes, then `suffix`.
Name MakeName(const QString& name, std::uint8_t suffix = 0x00);
// The name as it goes on the wire, `name` uppercased and in the OEM code page, blank-padded,
// then `suffix`; nothing when those bytes are more than 15 (fifteen "ß" become thirty "S").
std::optional<Name> MakeExactName(const QString& name, std::uint8_t suffix = 0x00);
// The same from bytes that are already in the OEM code page (not uppercased again).
Name MakeNameFromBytes(const QByteArray& oemName, std::uint8_t suffix = 0x00);
// The wildcard name of a node status request: '*' and fifteen 0x00 bytes.
Name WildcardName();
// "PC7<00>" for logs and tests.
QString Describe(const Name& name);

// First-level encoding without scope: 0x20, 32 letters 'A' + nibble, 0x00 (34 bytes).
QByteArray EncodeName(const Name& name);

// Reads an encoded name at `offset` of `message`, following one compression pointer as
// RFC 1002 allows. On success returns the name (the scope, if any, in `scope`) and moves
// `offset` past the name in the message. Returns nothing for any malformed input.
std::optional<Name> DecodeName(const QByteArray& message, int& offset, QByteArray* scope = nullptr);

// --- The SMB mailslot write and the datagram that carries it -------------------------------

// "\MAILSLOT\MESSNGR" for "messngr": the name an SMB mailslot write carries.
QByteArray SmbMailslotName(const QString& mailslot);

// The most data bytes that fit into one mailslot write to `mailslotName` ("\MAILSLOT\MESSNGR":
// 424).
int MaxMailslotData(const QByteArray& mailslotName);

// The SMB_COM_TRANSACTION mailslot write of `data` to `mailslotName` (class 2, unreliable).
QByteArray BuildMailslotWrite(const QByteArray& mailslotName, const QByteArray& data);

struct DatagramHeader {
    std::uint8_t type = kDirectUnique;
    std::uint16_t id = 0;
    std::uint32_t sourceAddress = 0;
    std::uint16_t sourcePort = kDatagramServicePort;
    Name sourceName;
    Name destinationName;
};

// One NetBIOS datagram (flags 0x02: first fragment, B node) carrying `smbMessage`.
QByteArray BuildDatagram(const DatagramHeader& header, const QByteArray& smbMessage);

// The UDP payload of a remote mailslot write of `data`, or nothing when `data` does not fit
// (more than MaxMailslotData bytes).
std::optional<QByteArray> BuildMailslotDatagram(const DatagramHeader& header, const QByteArray& mailslotName,
                                                const QByteArray& data);

// --- Name service ---------------------------------------------------------------------------

// A broadcast name query request for `name` (flags 0x0110: RD and B), type NB, class IN.
QByteArray BuildNameQuery(std::uint16_t transactionId, const Name& name);

// A node status request (wildcard name, type NBSTAT, class IN, flags 0), sent by unicast.
QByteArray BuildNodeStatusRequest(std::uint16_t transactionId);

struct NameQueryAnswer {
    std::uint32_t address = 0;
    bool group = false;
};

// A positive name query response to the request `transactionId` for `name`: its first
// address entry. Nothing for every other datagram, whatever its bytes.
std::optional<NameQueryAnswer> ParseNameQueryResponse(const QByteArray& message, std::uint16_t transactionId,
                                                      const Name& name);

struct NodeStatusEntry {
    Name name;
    std::uint16_t flags = 0; // G 0x8000, ONT 0x6000, DRG 0x1000, CNF 0x0800, ACT 0x0400, PRM 0x0200
    bool group() const { return (flags & 0x8000) != 0; }
};

// The name table (at least one name) of a node status response to the request `transactionId`;
// nothing for every other datagram, whatever its bytes.
std::optional<std::vector<NodeStatusEntry>> ParseNodeStatusResponse(const QByteArray& message,
                                                                    std::uint16_t transactionId);

// The unique <00> name of a node status name table that is neither in conflict nor being
// released; nothing when the table holds none.
std::optional<Name> UniqueWorkstationName(const std::vector<NodeStatusEntry>& table);

// --- Answering for this computer's own name (a B-node, RFC 1002 4.2 and 5.1.1) -------------

constexpr unsigned kOpcodeQuery = 0;
constexpr unsigned kOpcodeRegistration = 5;
constexpr unsigned kOpcodeRelease = 6;
constexpr unsigned kTypeNb = 0x0020;
constexpr unsigned kTypeNbstat = 0x0021;

// A broadcast name registration request (flags 0x2910: registration, RD, B) of the unique
// B-node name `name` at `address`, the name's record pointing back to the question.
QByteArray BuildNameRegistration(std::uint16_t transactionId, const Name& name, std::uint32_t address);
// The same as a broadcast name release request (flags 0x3010: release, B).
QByteArray BuildNameRelease(std::uint16_t transactionId, const Name& name, std::uint32_t address);
// The positive name query response (flags 0x8500: response, AA, RD) naming `address` for the
// unique `name`.
QByteArray BuildNameQueryResponse(std::uint16_t transactionId, const Name& name, std::uint32_t address);
// The negative name registration response (flags 0xAD86: response, registration, AA, RD, RA,
// ACT_ERR): `name` is active at `address`, the requester may not have it.
QByteArray BuildNegativeRegistrationResponse(std::uint16_t transactionId, const Name& name, std::uint32_t address);
// The node status response (flags 0x8400: response, AA) to a request for `asked`, listing `names`
// as active unique B-node names, with statistics of zeros.
QByteArray BuildNodeStatusResponse(std::uint16_t transactionId, const Name& asked, const std::vector<Name>& names);

// A name service packet, as far as a node that answers for its own name reads one.
struct NamePacket {
    std::uint16_t id = 0;
    bool response = false;
    unsigned opcode = 0;
    unsigned rcode = 0;
    Name name;                            // the question's; in a response, the first record's
    unsigned type = 0;                    // the question's or record's: kTypeNb, kTypeNbstat
    std::optional<std::uint32_t> address; // the address of an NB record (registration, release, answers)
    bool group = false;                   // that record's G bit
};

// Nothing for every malformed packet, one whose name has a scope, one with neither or more than one
// question or record, or one whose class is not IN.
std::optional<NamePacket> ParseNamePacket(const QByteArray& message);

// --- Samba configuration --------------------------------------------------------------------

struct SambaNames {
    QString netbiosName; // empty when not set
    QString workgroup;   // empty when not set
};

// The `netbios name` and `workgroup` of the [global] section of an smb.conf text.
SambaNames ParseSmbConf(const QByteArray& text);

// "10.0.0.2" of an address in host byte order.
QString AddressText(std::uint32_t address);

// Whether `address` (host byte order) is this computer's: a loopback address or one of `own`.
bool IsThisComputer(std::uint32_t address, const std::vector<std::uint32_t>& own);

} // namespace pellora::platform::netbios
