// The Messenger port on Linux: UDP 138 on each IPv4 address of this computer and on each
// broadcast address, every socket with SO_REUSEADDR so that Samba's nmbd, which binds the same
// addresses with it, keeps its own. One receiver per computer (per network namespace): an abstract
// local socket is its token. Where no other program of this computer answers NetBIOS name queries
// (UDP 137), the port answers for this computer's name (netbios/NameResponder.h).
#include "platform/support/MessengerPort.h"
#include "platform/netbios/NameResponder.h"
#include "platform/posix/NetBiosResolver.h"
#include "platform/runtime/Error.h"

#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

namespace pellora::platform {

namespace {

constexpr std::uint16_t kPort = 138;
// The token of the one receiver of this computer: an abstract name (no file, gone with the process).
constexpr char kToken[] = "pellora-receiver-udp-138";
// At most this many datagrams are read in one wake-up before the event loop runs again.
constexpr int kBurst = 64;
// The kernel's buffer of each socket (it counts twice this, with its bookkeeping): some 40 small
// datagrams, plenty for people's messages, and a flood waits no longer than a fraction of a second.
constexpr int kReceiveBuffer = 16 * 1024;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0)
                ::close(fd_);
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// One datagram read by ReceiveOne.
template <typename From, typename Control> struct Received {
    ssize_t size = -1; // -1 when none waited
    bool truncated = false;
    From from{};
    socklen_t fromLength = 0;
    std::optional<Control> control; // its control message of the kind asked for, when it had one
};

// Reads one waiting datagram into `buffer`, without waiting, with its sender and its control
// message of `level` and `type` (IP_PKTINFO, SCM_CREDENTIALS).
template <typename From, typename Control>
Received<From, Control> ReceiveOne(int fd, char* buffer, std::size_t size, int level, int type) {
    Received<From, Control> got;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(Control))];
    iovec io{buffer, size};
    msghdr message{};
    message.msg_name = &got.from;
    message.msg_namelen = sizeof got.from;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    got.size = ::recvmsg(fd, &message, MSG_DONTWAIT);
    if (got.size < 0)
        return got;
    got.truncated = (message.msg_flags & MSG_TRUNC) != 0;
    got.fromLength = message.msg_namelen;
    const cmsghdr* header = CMSG_FIRSTHDR(&message);
    if (header && header->cmsg_level == level && header->cmsg_type == type) {
        Control data{};
        std::memcpy(&data, CMSG_DATA(header), sizeof data);
        got.control = data;
    }
    return got;
}

constexpr char kShow[] = "show";
constexpr char kShown[] = "shown";

socklen_t TokenAddress(sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, kToken, sizeof kToken - 1);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + sizeof kToken - 1);
}

Fd TakeToken() {
    Fd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.get() < 0)
        throw ErrorFromErrno(errno, QStringLiteral("Can't create a local socket for"), QStringLiteral("the receiver"));
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
    sockaddr_un address{};
    const socklen_t length = TokenAddress(address);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        if (errno == EADDRINUSE)
            throw Error(ErrorNumber::PermissionDenied,
                        QStringLiteral("Another Pellora Receiver on this computer (this user's or another "
                                       "user's) already holds UDP port 138. Only one receiver can run on a "
                                       "computer at a time."));
        throw ErrorFromErrno(errno, QStringLiteral("Can't create a local socket for"), QStringLiteral("the receiver"));
    }
    return fd;
}

// A UDP socket on address:138 with SO_REUSEADDR; throws with a sentence for the user.
Fd Bind(std::uint32_t address) {
    Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.get() < 0)
        throw ErrorFromErrno(errno, QStringLiteral("Can't create a UDP socket for"), QStringLiteral("port 138"));
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // What waits in the kernel is bounded too: in a flood the kernel drops what does not fit, so
    // that a message sent after it is not queued behind thousands of others.
    const int buffer = kReceiveBuffer;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kPort);
    local.sin_addr.s_addr = htonl(address);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const int err = errno;
        if (err == EACCES || err == EPERM)
            throw Error(ErrorNumber::PermissionDenied,
                        QStringLiteral("Pellora Receiver may not listen on UDP port 138: the right to use ports "
                                       "below 1024 is missing. Its package gives the program that right alone "
                                       "(setcap cap_net_bind_service=+ep on pellora-receiver); it needs no root."));
        if (err == EADDRINUSE)
            throw Error(ErrorNumber::PermissionDenied,
                        QStringLiteral("UDP port 138 on %1 is held by another program that does not share it "
                                       "(Samba's nmbd shares it; another receiver of Messenger messages may not).")
                            .arg(netbios::AddressText(address)));
        throw ErrorFromErrno(err, QStringLiteral("Can't listen on UDP port 138 of"), netbios::AddressText(address));
    }
    return fd;
}

// 0 when UDP 137 is free (a bind that does not share it succeeds), else that bind's errno:
// EADDRINUSE when another program (Samba's nmbd) holds the port.
int ProbeNamePort() {
    Fd probe(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(netbios::kNameServicePort);
    if (probe.get() < 0 || ::bind(probe.get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0)
        return errno;
    return 0;
}

// UDP 137 on every address, shared (SO_REUSEADDR: an nmbd started later takes it too), telling
// the address each datagram came to; -1 with errno set when it cannot.
Fd BindNamePort() {
    Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.get() < 0)
        return fd;
    const int on = 1;
    const int buffer = kReceiveBuffer;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    ::setsockopt(fd.get(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(netbios::kNameServicePort);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0)
        return Fd();
    return fd;
}

// Registration requests go out three times a quarter of a second apart, and a defence is awaited
// a quarter of a second after the last (RFC 1002's BCAST_REQ_RETRY_COUNT and _TIMEOUT).
constexpr int kRegistrationRounds = 3;
constexpr int kRegistrationIntervalMs = 250;

} // namespace

struct MessengerPort::Impl {
    Handler handler;
    std::function<void()> show;
    Fd token;
    std::unique_ptr<QSocketNotifier> tokenNotifier;

    // A request of a second start: answered, and the window shown, only when it comes from this
    // user (the kernel's credentials of the sender, not anything it writes).
    void ReadToken() {
        for (int i = 0; i < kBurst; ++i) {
            char buffer[16];
            const auto got =
                ReceiveOne<sockaddr_un, ucred>(token.get(), buffer, sizeof buffer, SOL_SOCKET, SCM_CREDENTIALS);
            if (got.size < 0)
                return;
            if (!got.control || got.control->uid != ::getuid() || got.size != sizeof kShow - 1 ||
                std::memcmp(buffer, kShow, sizeof kShow - 1) != 0)
                continue;
            ::sendto(token.get(), kShown, sizeof kShown - 1, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&got.from),
                     got.fromLength);
            try {
                if (show)
                    show();
            } catch (const std::exception&) {
                // Nothing crosses the event loop.
            }
        }
    }
    struct Socket {
        Fd fd;
        std::uint32_t address;
        bool broadcast;
        std::unique_ptr<QSocketNotifier> notifier;
    };
    std::vector<Socket> sockets;
    std::vector<std::uint32_t> own;

    // This computer's name, answered on UDP 137 where no other program answers for it.
    struct Names {
        Fd fd;
        std::unique_ptr<QSocketNotifier> notifier;
        std::unique_ptr<QTimer> timer;
        std::optional<netbios::NameResponder> responder;
        std::vector<netbios::Interface> interfaces;
        int rounds = 0;
        QString notice;
        std::function<void()> changed;
    } names;

    void SetNotice(const QString& notice) {
        if (notice == names.notice)
            return;
        names.notice = notice;
        try {
            if (names.changed)
                names.changed();
        } catch (const std::exception&) {
            // Nothing crosses the event loop.
        }
    }

    void NoticeOfState() {
        using State = netbios::NameResponder::State;
        const netbios::NameResponder& r = *names.responder;
        if (r.state() == State::Active)
            SetNotice(QStringLiteral("Answers for the name %1 on the network (no other program of this computer "
                                     "does).")
                          .arg(r.computer()));
        else if (r.state() == State::GaveWay && r.defender() != 0)
            SetNotice(QStringLiteral("The computer at %1 already holds the name %2, so this receiver does not answer "
                                     "for it and senders that name this computer do not find it. Give one of the two "
                                     "computers another name.")
                          .arg(netbios::AddressText(r.defender()), r.computer()));
        else if (r.state() == State::GaveWay)
            SetNotice(QStringLiteral("%1 cannot be a NetBIOS name: senders that name this computer do not find it.")
                          .arg(r.computer()));
    }

    void SendNames(const std::vector<netbios::Outgoing>& datagrams) {
        for (const netbios::Outgoing& d : datagrams) {
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(d.port);
            to.sin_addr.s_addr = htonl(d.address);
            ::sendto(names.fd.get(), d.bytes.constData(), static_cast<std::size_t>(d.bytes.size()), MSG_DONTWAIT,
                     reinterpret_cast<const sockaddr*>(&to), sizeof to);
        }
    }

    void RegistrationRound() {
        if (names.rounds >= kRegistrationRounds) {
            names.timer->stop(); // from here on the port sleeps until a datagram comes
            names.responder->FinishRegistration();
            NoticeOfState();
            return;
        }
        ++names.rounds;
        for (const netbios::Interface& i : names.interfaces)
            SendNames(names.responder->RegistrationRound(i.address, i.broadcast));
    }

    void ReadNames() {
        for (int i = 0; i < kBurst; ++i) {
            char buffer[1024];
            const auto got =
                ReceiveOne<sockaddr_in, in_pktinfo>(names.fd.get(), buffer, sizeof buffer, IPPROTO_IP, IP_PKTINFO);
            if (got.size < 0)
                break;
            if (got.truncated || !got.control)
                continue; // no name service packet is that long; without the arrival address no answer
            // The address an answer names: the one of the interface it came in on.
            const std::uint32_t local = ntohl(got.control->ipi_spec_dst.s_addr);
            const std::uint32_t to = ntohl(got.control->ipi_addr.s_addr);
            const bool toBroadcast = std::find(own.begin(), own.end(), to) == own.end();
            SendNames(names.responder->Take(QByteArray(buffer, static_cast<qsizetype>(got.size)),
                                            ntohl(got.from.sin_addr.s_addr), ntohs(got.from.sin_port), local,
                                            toBroadcast));
        }
        NoticeOfState();
    }

    void ReleaseNames() {
        if (!names.responder || names.fd.get() < 0)
            return;
        for (const netbios::Interface& i : names.interfaces)
            SendNames(names.responder->Release(i.address, i.broadcast));
    }

    void Read(const Socket& socket) {
        for (int i = 0; i < kBurst; ++i) {
            char buffer[2048];
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t size = ::recvfrom(socket.fd.get(), buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC,
                                            reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (size < 0)
                return; // EAGAIN: all read; any other error: the next wake-up tries again
            IncomingDatagram datagram;
            // A datagram larger than the buffer is kept at one byte more than the parser takes,
            // so that it is counted as malformed rather than read in part.
            datagram.payload = QByteArray(buffer, static_cast<qsizetype>(std::min<ssize_t>(size, sizeof buffer)));
            datagram.sourceAddress = ntohl(from.sin_addr.s_addr);
            datagram.broadcast = socket.broadcast;
            datagram.fromThisComputer = netbios::IsThisComputer(datagram.sourceAddress, own);
            try {
                handler(datagram);
            } catch (const std::exception&) {
                // The handler keeps its own failures; nothing crosses the event loop.
            }
        }
    }
};

MessengerPort::MessengerPort(Handler handler) : impl_(std::make_unique<Impl>()) {
    impl_->handler = std::move(handler);
    impl_->token = TakeToken();
    impl_->own = netbios::LocalAddresses();
    std::vector<std::pair<std::uint32_t, bool>> addresses;
    for (const std::uint32_t address : impl_->own)
        addresses.emplace_back(address, false);
    for (const std::uint32_t broadcast : netbios::BroadcastAddresses(netbios::BroadcastInterfaces()))
        addresses.emplace_back(broadcast, true);
    addresses.emplace_back(0xFFFFFFFFu, true);
    for (const auto& entry : addresses) {
        // Named copies, not a structured binding: the lambdas below capture them.
        const std::uint32_t address = entry.first;
        const bool broadcast = entry.second;
        const bool seen = std::any_of(impl_->sockets.begin(), impl_->sockets.end(),
                                      [&](const Impl::Socket& s) { return s.address == address; });
        if (seen)
            continue;
        Fd fd = [&] {
            if (!broadcast)
                return Bind(address);
            try {
                return Bind(address);
            } catch (const Error&) {
                return Fd(); // a broadcast address this system does not let us bind: its datagrams are missed
            }
        }();
        if (fd.get() < 0)
            continue;
        impl_->sockets.push_back({std::move(fd), address, broadcast, nullptr});
    }
    for (Impl::Socket& socket : impl_->sockets) {
        socket.notifier = std::make_unique<QSocketNotifier>(socket.fd.get(), QSocketNotifier::Read);
        Impl* impl = impl_.get();
        const Impl::Socket* s = &socket;
        QObject::connect(socket.notifier.get(), &QSocketNotifier::activated, socket.notifier.get(),
                         [impl, s] { impl->Read(*s); });
    }
}

MessengerPort::~MessengerPort() { impl_->ReleaseNames(); }

void MessengerPort::AnswerName(const QString& computer, std::function<void()> changed) {
    Impl::Names& names = impl_->names;
    if (names.responder)
        return;
    names.changed = std::move(changed);
    int error = ProbeNamePort();
    if (error == EADDRINUSE) {
        names.notice = QStringLiteral("Another program of this computer (Samba's nmbd) answers for its name.");
        return;
    }
    names.interfaces = netbios::BroadcastInterfaces();
    if (error == 0 && names.interfaces.empty()) {
        names.notice = QStringLiteral("No network interface can broadcast: this receiver answers for no name.");
        return;
    }
    if (error == 0) {
        names.fd = BindNamePort();
        error = names.fd.get() < 0 ? errno : 0;
    }
    if (error != 0) {
        names.notice = QStringLiteral("This receiver answers for no name: UDP port 137: %1.")
                           .arg(QString::fromLocal8Bit(std::strerror(error)));
        return;
    }
    names.responder.emplace(computer, impl_->own, static_cast<std::uint16_t>(QRandomGenerator::global()->generate()));
    if (names.responder->state() != netbios::NameResponder::State::Registering) {
        impl_->NoticeOfState();
        return;
    }
    names.notice = QStringLiteral("Claiming the name %1 on the network.").arg(computer);
    Impl* impl = impl_.get();
    names.notifier = std::make_unique<QSocketNotifier>(names.fd.get(), QSocketNotifier::Read);
    QObject::connect(names.notifier.get(), &QSocketNotifier::activated, names.notifier.get(),
                     [impl] { impl->ReadNames(); });
    names.timer = std::make_unique<QTimer>();
    names.timer->setInterval(kRegistrationIntervalMs);
    QObject::connect(names.timer.get(), &QTimer::timeout, names.timer.get(), [impl] { impl->RegistrationRound(); });
    impl_->RegistrationRound();
    names.timer->start();
}

void MessengerPort::SetShowHandler(std::function<void()> show) {
    impl_->show = std::move(show);
    if (impl_->tokenNotifier)
        return;
    impl_->tokenNotifier = std::make_unique<QSocketNotifier>(impl_->token.get(), QSocketNotifier::Read);
    Impl* impl = impl_.get();
    QObject::connect(impl_->tokenNotifier.get(), &QSocketNotifier::activated, impl_->tokenNotifier.get(),
                     [impl] { impl->ReadToken(); });
}

bool MessengerPort::AskRunningToShow() {
    Fd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0)
        return false;
    // An automatic abstract name of its own, so that the answer can come back.
    sockaddr_un self{};
    self.sun_family = AF_UNIX;
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&self), sizeof(sa_family_t)) != 0)
        return false;
    sockaddr_un token{};
    const socklen_t length = TokenAddress(token);
    if (::sendto(fd.get(), kShow, sizeof kShow - 1, 0, reinterpret_cast<const sockaddr*>(&token), length) < 0)
        return false;
    pollfd wait{fd.get(), POLLIN, 0};
    if (::poll(&wait, 1, 1000) != 1)
        return false;
    char buffer[16];
    const ssize_t size = ::recv(fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
    return size == sizeof kShown - 1 && std::memcmp(buffer, kShown, sizeof kShown - 1) == 0;
}

QStringList MessengerPort::listening() const {
    QStringList list;
    for (const Impl::Socket& socket : impl_->sockets)
        list << netbios::AddressText(socket.address) + QStringLiteral(":138");
    return list;
}

QString MessengerPort::notice() const { return impl_->names.notice; }

} // namespace pellora::platform
