#pragma once

// Resolving a computer text to where a remote mailslot datagram goes: NetBIOS name query by
// broadcast, node status by unicast, and the system resolver (hosts file, DNS), each bounded
// in time. Uses UDP sockets; the byte formats are in NetBios.h.

#include "platform/netbios/NetBios.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace pellora::platform::netbios {

// An up IPv4 interface that can broadcast (loopback excluded).
struct Interface {
    QString name;
    std::uint32_t address = 0;
    std::uint32_t netmask = 0;
    std::uint32_t broadcast = 0;
};
std::vector<Interface> BroadcastInterfaces();

// The broadcast addresses of `interfaces`.
std::vector<std::uint32_t> BroadcastAddresses(const std::vector<Interface>& interfaces);

// True for an address no name service answer may name: 0.0.0.0/8, 127.0.0.0/8, multicast
// 224.0.0.0/4, 240.0.0.0/4 (255.255.255.255 among them), and the broadcast address of a
// local interface (`localBroadcasts`). Such an answer is ignored as if it had not come.
bool IsForbiddenAnswerAddress(std::uint32_t address, const std::vector<std::uint32_t>& localBroadcasts);

// True for a broadcast or multicast address: 224.0.0.0/4, 255.255.255.255, or the broadcast
// address of a local interface. A computer typed as such an address is refused.
bool IsBroadcastOrMulticast(std::uint32_t address, const std::vector<std::uint32_t>& localBroadcasts);

// True for an address the system resolver (hosts file, DNS) may not send us to: a broadcast or
// multicast address (IsBroadcastOrMulticast), 0.0.0.0/8 and 240.0.0.0/4. Loopback stays
// allowed: the hosts file may name this machine.
bool IsForbiddenResolvedAddress(std::uint32_t address, const std::vector<std::uint32_t>& localBroadcasts);

// Every IPv4 address of this machine's interfaces, loopback included, whatever their state.
std::vector<std::uint32_t> LocalAddresses();

// How long a name query keeps listening after its first answer that counts: answers on a LAN
// come within a few milliseconds of each other, and the system resolver's address, which wins
// over any answer, may still come.
constexpr int kAnswerGraceMs = 20;

// The answers to one name query, taken in as they come. An answer counts only when it comes
// from the name service port (137) of an address that is not this machine's (`ownAddresses`,
// and 127.0.0.0/8), and names an address IsForbiddenAnswerAddress allows. Two answers that
// count and name different addresses, one of them for a unique name, are a conflict: two
// computers claim the name. An answer for a group name that counts makes the name a group
// name, which a typed computer name may not be (QueryName refuses it).
class NameQueryAnswers {
public:
    NameQueryAnswers(std::vector<std::uint32_t> ownAddresses, std::vector<std::uint32_t> localBroadcasts);
    // Takes in an answer from `fromAddress`:`fromPort`; true when it counts.
    bool Add(std::uint32_t fromAddress, std::uint16_t fromPort, const NameQueryAnswer& answer);
    // The first answer that counted, and who sent it.
    const std::optional<NameQueryAnswer>& first() const { return first_; }
    std::uint32_t firstFrom() const { return firstFrom_; }
    // The address of the first answer in conflict with the first one.
    const std::optional<std::uint32_t>& conflict() const { return conflict_; }
    // True when an answer that counted was for a group name.
    bool group() const { return group_; }

private:
    std::vector<std::uint32_t> ownAddresses_;
    std::vector<std::uint32_t> localBroadcasts_;
    std::optional<NameQueryAnswer> first_;
    std::uint32_t firstFrom_ = 0;
    std::optional<std::uint32_t> conflict_;
    bool group_ = false;
};

// The local address the system would send from to reach `destination` (0 when unknown).
std::uint32_t SourceAddressFor(std::uint32_t destination);

struct ResolverTimings {
    int tries = 3;               // name query and node status tries
    int retryIntervalMs = 250;   // between tries; the answer is awaited one interval after the last
    int systemResolverMs = 1600; // bound of the system resolver for a dotted name
};

// Where the datagrams of one mailslot write go.
struct Target {
    std::uint8_t type = kDirectUnique; // kDirectUnique or kDirectGroup
    Name name;                         // the destination name
    struct Destination {
        std::uint32_t address = 0;       // where the UDP datagram goes (port 138)
        std::uint32_t sourceAddress = 0; // the SOURCE_IP of the datagram
    };
    std::vector<Destination> destinations;
    QString how; // how it was found, for diagnostics
};

// The system resolver (getaddrinfo, IPv4) bounded by `timeoutMs`.
std::optional<std::uint32_t> SystemResolve(const QString& host, int timeoutMs);

// A broadcast name query for `name` on every interface, together with the system resolver for
// `hostText` when it is not empty. The system resolver's address wins when it comes before the
// name query ends (IsForbiddenResolvedAddress refuses some). Answers are taken in as
// NameQueryAnswers says; after the first one that counts, the query listens kAnswerGraceMs
// more, then goes where it names (a unique datagram), or fails on a conflict or a group answer
// (`error` then says so). A group name is never the target: only "*" broadcasts.
std::optional<Target> QueryName(const Name& name, const QString& hostText, const ResolverTimings& timings,
                                QString* error = nullptr);

// Whether a node status answer from `fromAddress`, port `fromPort`, may be the answer of the node
// at `asked`: only that node itself answers, from its name service port (137).
bool IsNodeStatusSource(std::uint32_t asked, std::uint32_t fromAddress, std::uint16_t fromPort);

// The name table of the node at `address` (node status request by unicast). Only an answer
// that IsNodeStatusSource allows counts.
std::optional<std::vector<NodeStatusEntry>> QueryNodeStatus(std::uint32_t address, const ResolverTimings& timings);

// Resolves a computer text: "*" (the workgroup `workgroup`), a canonical IPv4 address, a dotted
// name, or a NetBIOS name. A text that looks like an address and is not canonical
// (ClassifyAddressText) is refused before any traffic. `error` receives the reason of a failure,
// one line for the user.
std::optional<Target> ResolveComputer(const QString& computer, const QString& workgroup, const ResolverTimings& timings,
                                      QString* error = nullptr);

// A fresh 16-bit identifier (name service transaction ids, datagram ids): drawn at random
// (getentropy), and none of the last 256 handed out.
std::uint16_t NextId();

} // namespace pellora::platform::netbios
