#include "platform/posix/NetBiosResolver.h"

#include "platform/mailslot/MailslotPath.h"
#include "platform/posix/UnixPort.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

namespace pellora::platform::netbios {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A file descriptor that is closed with its owner.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

sockaddr_in SocketAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

// A non-blocking UDP socket on an ephemeral port that may broadcast.
Fd QuerySocket() {
    Fd fd(unixport::OpenSocket(AF_INET, SOCK_DGRAM, true));
    if (!fd.valid())
        return fd;
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in any = SocketAddress(INADDR_ANY, 0);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0)
        return Fd();
    return fd;
}

void SendTo(int fd, const QByteArray& bytes, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in to = SocketAddress(address, port);
    (void)::sendto(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()),
                   0 /* a datagram socket raises no SIGPIPE */, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// The largest UDP payload: no datagram is cut short by the buffer it is read into (a node
// status answer may list up to 255 names).
constexpr std::size_t kMaxDatagram = 65536;

struct Sender {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

// Reads one pending datagram whole; false when none is waiting.
bool Receive(int fd, QByteArray& bytes, Sender* from) {
    thread_local std::vector<char> buffer(kMaxDatagram);
    sockaddr_in source{};
    socklen_t length = sizeof source;
    const ssize_t n =
        ::recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&source), &length);
    if (n < 0)
        return false;
    bytes = QByteArray(buffer.data(), static_cast<qsizetype>(n));
    if (from)
        *from = Sender{ntohl(source.sin_addr.s_addr), ntohs(source.sin_port)};
    return true;
}

int MillisecondsUntil(Clock::time_point when) {
    const auto left = std::chrono::duration_cast<milliseconds>(when - Clock::now()).count();
    if (left <= 0)
        return 0;
    return static_cast<int>(left) + 1;
}

// The system resolver on a thread of its own, so that it can be bounded and run beside the
// broadcast. The thread owns a share of the state and finishes on its own even when nobody
// waits any more; the descriptor becomes readable when it is done.
class SystemLookup {
public:
    explicit SystemLookup(const QString& host) : state_(std::make_shared<State>()) {
        int fds[2];
        if (unixport::OpenPipe(fds) != 0) {
            state_->done = true;
            return;
        }
        state_->readEnd = Fd(fds[0]);
        state_->writeEnd = Fd(fds[1]);
        try {
            std::thread([state = state_, name = host.toUtf8()] {
                std::optional<std::uint32_t> found;
                addrinfo hints{};
                hints.ai_family = AF_INET;
                hints.ai_socktype = SOCK_DGRAM;
                addrinfo* result = nullptr;
                if (::getaddrinfo(name.constData(), nullptr, &hints, &result) == 0) {
                    for (addrinfo* ai = result; ai; ai = ai->ai_next) {
                        if (ai->ai_family == AF_INET && ai->ai_addr) {
                            found = ntohl(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr);
                            break;
                        }
                    }
                    ::freeaddrinfo(result);
                }
                std::lock_guard lock(state->mutex);
                state->address = found;
                state->done = true;
                (void)!::write(state->writeEnd.get(), "x", 1);
            }).detach();
        } catch (const std::system_error&) {
            std::lock_guard lock(state_->mutex);
            state_->done = true;
        }
    }

    // Readable when the lookup is done; -1 when it never started.
    int fd() const { return state_->readEnd.get(); }

    bool done() const {
        std::lock_guard lock(state_->mutex);
        return state_->done;
    }
    std::optional<std::uint32_t> address() const {
        std::lock_guard lock(state_->mutex);
        return state_->address;
    }

private:
    struct State {
        mutable std::mutex mutex;
        bool done = false;
        std::optional<std::uint32_t> address;
        Fd readEnd;
        Fd writeEnd;
    };
    std::shared_ptr<State> state_;
};

Target UniqueTarget(const Name& name, std::uint32_t address, QString how) {
    Target target;
    target.type = kDirectUnique;
    target.name = name;
    target.destinations.push_back({address, SourceAddressFor(address)});
    target.how = std::move(how);
    return target;
}

void SetError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

} // namespace

std::uint16_t NextId() {
    // A counted id tells an onlooker the next one: whoever sees one query could answer the
    // next before its owner does.
    auto draw = [] {
        std::uint16_t id = 0;
        if (::getentropy(&id, sizeof id) != 0) // a system without it
            id = static_cast<std::uint16_t>(std::random_device()());
        return id;
    };
    static std::mutex mutex;
    static std::array<std::uint16_t, 256> recent{};
    static std::size_t handedOut = 0;
    std::lock_guard lock(mutex);
    const auto recentEnd = recent.begin() + static_cast<std::ptrdiff_t>(std::min(handedOut, recent.size()));
    std::uint16_t id = draw();
    while (std::find(recent.begin(), recentEnd, id) != recentEnd)
        id = draw();
    recent[handedOut++ % recent.size()] = id;
    return id;
}

std::vector<Interface> BroadcastInterfaces() {
    std::vector<Interface> result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return result;
    for (ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
        if (!ifa->ifa_addr || ifa->ifa_addr->sa_family != AF_INET || !ifa->ifa_netmask)
            continue;
        if (!(ifa->ifa_flags & IFF_UP) || !(ifa->ifa_flags & IFF_BROADCAST) || (ifa->ifa_flags & IFF_LOOPBACK))
            continue;
        Interface i;
        i.name = QString::fromLocal8Bit(ifa->ifa_name);
        i.address = ntohl(reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr)->sin_addr.s_addr);
        i.netmask = ntohl(reinterpret_cast<const sockaddr_in*>(ifa->ifa_netmask)->sin_addr.s_addr);
        if (ifa->ifa_broadaddr && ifa->ifa_broadaddr->sa_family == AF_INET)
            i.broadcast = ntohl(reinterpret_cast<const sockaddr_in*>(ifa->ifa_broadaddr)->sin_addr.s_addr);
        if (i.broadcast == 0)
            i.broadcast = i.address | ~i.netmask;
        result.push_back(i);
    }
    ::freeifaddrs(list);
    return result;
}

std::vector<std::uint32_t> BroadcastAddresses(const std::vector<Interface>& interfaces) {
    std::vector<std::uint32_t> result;
    result.reserve(interfaces.size());
    for (const Interface& i : interfaces)
        result.push_back(i.broadcast);
    return result;
}

bool IsForbiddenAnswerAddress(std::uint32_t address, const std::vector<std::uint32_t>& localBroadcasts) {
    const std::uint32_t first = address >> 24;
    if (first == 0 || first == 127 || first >= 224) // "this network", loopback, multicast and 240/4
        return true;
    return std::find(localBroadcasts.begin(), localBroadcasts.end(), address) != localBroadcasts.end();
}

bool IsBroadcastOrMulticast(std::uint32_t address, const std::vector<std::uint32_t>& localBroadcasts) {
    if ((address >> 28) == 0xE || address == 0xFFFFFFFFu)
        return true;
    return std::find(localBroadcasts.begin(), localBroadcasts.end(), address) != localBroadcasts.end();
}

bool IsForbiddenResolvedAddress(std::uint32_t address, const std::vector<std::uint32_t>& localBroadcasts) {
    const std::uint32_t first = address >> 24;
    return first == 0 || first >= 240 || IsBroadcastOrMulticast(address, localBroadcasts);
}

std::vector<std::uint32_t> LocalAddresses() {
    std::vector<std::uint32_t> result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return result;
    for (ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
        if (ifa->ifa_addr && ifa->ifa_addr->sa_family == AF_INET)
            result.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr)->sin_addr.s_addr));
    }
    ::freeifaddrs(list);
    return result;
}

NameQueryAnswers::NameQueryAnswers(std::vector<std::uint32_t> ownAddresses, std::vector<std::uint32_t> localBroadcasts)
    : ownAddresses_(std::move(ownAddresses)), localBroadcasts_(std::move(localBroadcasts)) {}

bool NameQueryAnswers::Add(std::uint32_t fromAddress, std::uint16_t fromPort, const NameQueryAnswer& answer) {
    // Any user of a machine can send from a port above 1023, and of this machine from any of
    // its addresses; an answer that sends us to this machine, to nowhere or to everyone is no
    // answer either.
    const bool fromThisMachine = (fromAddress >> 24) == 127 || std::find(ownAddresses_.begin(), ownAddresses_.end(),
                                                                         fromAddress) != ownAddresses_.end();
    if (fromPort != kNameServicePort || fromThisMachine || IsForbiddenAnswerAddress(answer.address, localBroadcasts_))
        return false;
    group_ = group_ || answer.group;
    if (!first_) {
        first_ = answer;
        firstFrom_ = fromAddress;
    } else if (!conflict_ && answer.address != first_->address && !(answer.group && first_->group)) {
        conflict_ = answer.address;
    }
    return true;
}

std::uint32_t SourceAddressFor(std::uint32_t destination) {
    Fd fd(unixport::OpenSocket(AF_INET, SOCK_DGRAM, false));
    if (!fd.valid())
        return 0;
    // Connecting a UDP socket only asks the routing table; nothing is sent.
    const sockaddr_in to = SocketAddress(destination, kDatagramServicePort);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0)
        return 0;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohl(local.sin_addr.s_addr);
}

std::optional<std::uint32_t> SystemResolve(const QString& host, int timeoutMs) {
    SystemLookup lookup(host);
    const auto deadline = Clock::now() + milliseconds(timeoutMs);
    while (!lookup.done()) {
        const int wait = MillisecondsUntil(deadline);
        if (wait == 0 || lookup.fd() < 0)
            return std::nullopt;
        pollfd p{lookup.fd(), POLLIN, 0};
        ::poll(&p, 1, wait);
    }
    return lookup.address();
}

// The tries of one name service request: sent `tries` times, `interval` apart, answered by the
// deadline one interval after the last try or not at all.
class TrySchedule {
public:
    explicit TrySchedule(const ResolverTimings& timings)
        : start_(Clock::now()), interval_(milliseconds(timings.retryIntervalMs)), tries_(timings.tries),
          deadline_(start_ + interval_ * tries_) {}
    // True when the next try is due now; counts it as sent.
    bool TryDue(Clock::time_point now) {
        if (sent_ >= tries_ || now < start_ + interval_ * sent_)
            return false;
        ++sent_;
        return true;
    }
    Clock::time_point deadline() const { return deadline_; }
    bool Expired(Clock::time_point now) const { return now >= deadline_; }
    // When to wake up next: the next try, or the deadline once every try has gone out.
    Clock::time_point WakeAt() const {
        return sent_ < tries_ ? std::min(start_ + interval_ * sent_, deadline_) : deadline_;
    }

private:
    Clock::time_point start_;
    Clock::duration interval_;
    int tries_;
    Clock::time_point deadline_;
    int sent_ = 0;
};

std::optional<Target> QueryName(const Name& name, const QString& hostText, const ResolverTimings& timings,
                                QString* error) {
    const std::vector<Interface> interfaces = BroadcastInterfaces();
    const std::vector<std::uint32_t> localBroadcasts = BroadcastAddresses(interfaces);
    std::optional<SystemLookup> lookup;
    if (!hostText.isEmpty())
        lookup.emplace(hostText);
    bool lookupPending = lookup && lookup->fd() >= 0;

    Fd fd = interfaces.empty() ? Fd() : QuerySocket();
    const std::uint16_t transactionId = NextId();
    const QByteArray request = BuildNameQuery(transactionId, name);
    TrySchedule tries(timings);
    NameQueryAnswers answers(LocalAddresses(), localBroadcasts);
    std::optional<Clock::time_point> graceEnd; // from the first answer that counts
    auto end = [&] { return graceEnd ? *graceEnd : tries.deadline(); };

    for (;;) {
        if (lookupPending && lookup->done()) {
            lookupPending = false;
            // The hosts file or DNS wins over any name query answer, but it may name a broadcast
            // or multicast address too ("224.1" is 224.0.0.1 to the resolver), or nowhere.
            const std::optional<std::uint32_t> address = lookup->address();
            if (address && !IsForbiddenResolvedAddress(*address, localBroadcasts))
                return UniqueTarget(name, *address, QStringLiteral("system resolver"));
        }
        const auto now = Clock::now();
        if (now >= end() || (!fd.valid() && !lookupPending))
            break;
        if (fd.valid() && !graceEnd && tries.TryDue(now)) {
            for (const Interface& i : interfaces)
                SendTo(fd.get(), request, i.broadcast, kNameServicePort);
        }

        pollfd polls[2];
        nfds_t count = 0;
        if (fd.valid())
            polls[count++] = pollfd{fd.get(), POLLIN, 0};
        if (lookupPending)
            polls[count++] = pollfd{lookup->fd(), POLLIN, 0};
        const auto wakeAt = fd.valid() && !graceEnd ? tries.WakeAt() : end();
        ::poll(polls, count, MillisecondsUntil(wakeAt));

        QByteArray reply;
        Sender from;
        while (fd.valid() && Clock::now() < end() &&
               Receive(fd.get(), reply, &from)) { // a flood never holds us past the bound
            const auto answer = ParseNameQueryResponse(reply, transactionId, name);
            if (answer && answers.Add(from.address, from.port, *answer) && !graceEnd)
                graceEnd = Clock::now() + milliseconds(kAnswerGraceMs);
        }
    }

    const QString typed = hostText.isEmpty() ? Describe(name) : hostText;
    // A name typed as the computer goes to one computer only: a group answer, first, alone or
    // beside a unique one, would turn the message into a broadcast to the subnet.
    if (answers.group()) {
        SetError(error,
                 QStringLiteral("%1 is a group name; to send to every computer of the workgroup use *.").arg(typed));
        return std::nullopt;
    }
    if (answers.conflict()) {
        SetError(error, QStringLiteral("Two computers answer to the name %1: %2 and %3.")
                            .arg(typed, AddressText(answers.first()->address), AddressText(*answers.conflict())));
        return std::nullopt;
    }
    if (!answers.first())
        return std::nullopt;
    return UniqueTarget(name, answers.first()->address,
                        QStringLiteral("name query answered by %1").arg(AddressText(answers.firstFrom())));
}

bool IsNodeStatusSource(std::uint32_t asked, std::uint32_t fromAddress, std::uint16_t fromPort) {
    return fromAddress == asked && fromPort == kNameServicePort;
}

std::optional<std::vector<NodeStatusEntry>> QueryNodeStatus(std::uint32_t address, const ResolverTimings& timings) {
    Fd fd = QuerySocket();
    if (!fd.valid())
        return std::nullopt;
    const std::uint16_t transactionId = NextId();
    const QByteArray request = BuildNodeStatusRequest(transactionId);
    TrySchedule tries(timings);
    const auto deadline = tries.deadline();
    for (;;) {
        const auto now = Clock::now();
        if (tries.TryDue(now))
            SendTo(fd.get(), request, address, kNameServicePort);
        if (tries.Expired(now))
            return std::nullopt;
        pollfd p{fd.get(), POLLIN, 0};
        ::poll(&p, 1, MillisecondsUntil(tries.WakeAt()));
        QByteArray reply;
        Sender from;
        while (Clock::now() < deadline && Receive(fd.get(), reply, &from)) {
            if (!IsNodeStatusSource(address, from.address, from.port))
                continue;
            if (auto table = ParseNodeStatusResponse(reply, transactionId))
                return table;
        }
    }
}

std::optional<Target> ResolveComputer(const QString& computer, const QString& workgroup, const ResolverTimings& timings,
                                      QString* error) {
    if (!IsUsableComputerName(computer)) {
        SetError(error, QStringLiteral("The computer name cannot be used in a mailslot path."));
        return std::nullopt;
    }

    if (computer == u"*") {
        const std::vector<Interface> interfaces = BroadcastInterfaces();
        if (interfaces.empty()) {
            SetError(error, QStringLiteral("No network interface can broadcast."));
            return std::nullopt;
        }
        Target target;
        target.type = kDirectGroup;
        target.name = MakeName(workgroup.isEmpty() ? QStringLiteral("WORKGROUP") : workgroup, 0x00);
        for (const Interface& i : interfaces)
            target.destinations.push_back({i.broadcast, i.address});
        target.how = QStringLiteral("workgroup broadcast");
        return target;
    }

    std::uint32_t literal = 0;
    const AddressForm form = ClassifyAddressText(computer, &literal);
    if (form == AddressForm::NotCanonical) {
        // Never to the system resolver, which reads "10.77.000.010" as octal.
        SetError(error, NonCanonicalAddressReason(computer));
        return std::nullopt;
    }
    if (form == AddressForm::Canonical) {
        // Nothing goes to everyone on a network: the request would be answered by any node.
        if (IsBroadcastOrMulticast(literal, BroadcastAddresses(BroadcastInterfaces()))) {
            SetError(error, QStringLiteral("%1 is a broadcast or multicast address.").arg(computer));
            return std::nullopt;
        }
        auto table = QueryNodeStatus(literal, timings);
        std::optional<Name> name = table ? UniqueWorkstationName(*table) : std::nullopt;
        if (!name) {
            SetError(error, QStringLiteral("The computer at %1 did not say its NetBIOS name.").arg(computer));
            return std::nullopt;
        }
        return UniqueTarget(*name, literal, QStringLiteral("node status"));
    }

    if (computer.contains(u'.')) {
        auto address = SystemResolve(computer, timings.systemResolverMs);
        if (!address) {
            SetError(error, QStringLiteral("The name %1 does not resolve.").arg(computer));
            return std::nullopt;
        }
        const std::vector<std::uint32_t> localBroadcasts = BroadcastAddresses(BroadcastInterfaces());
        if (IsBroadcastOrMulticast(*address, localBroadcasts)) {
            SetError(error, QStringLiteral("%1 names a broadcast or multicast address.").arg(computer));
            return std::nullopt;
        }
        if (IsForbiddenResolvedAddress(*address, localBroadcasts)) {
            SetError(
                error,
                QStringLiteral("%1 names %2, an address no message can go to.").arg(computer, AddressText(*address)));
            return std::nullopt;
        }
        auto table = QueryNodeStatus(*address, timings);
        std::optional<Name> name = table ? UniqueWorkstationName(*table) : std::nullopt;
        if (name)
            return UniqueTarget(*name, *address, QStringLiteral("system resolver, node status"));
        const std::optional<Name> label = MakeExactName(computer.section(u'.', 0, 0), 0x00);
        if (!label) {
            SetError(error, QStringLiteral("The first label of %1 is longer than a NetBIOS name.").arg(computer));
            return std::nullopt;
        }
        return UniqueTarget(*label, *address, QStringLiteral("system resolver, first label"));
    }

    // The limit holds for the bytes that are sent, after upper-casing and the OEM code page.
    const std::optional<Name> name = MakeExactName(computer, 0x00);
    if (!name) {
        SetError(error, QStringLiteral("A NetBIOS name has at most 15 bytes."));
        return std::nullopt;
    }
    QString conflict;
    auto target = QueryName(*name, computer, timings, &conflict);
    if (!target)
        SetError(error,
                 conflict.isEmpty() ? QStringLiteral("No computer answered to the name %1.").arg(computer) : conflict);
    return target;
}

} // namespace pellora::platform::netbios
