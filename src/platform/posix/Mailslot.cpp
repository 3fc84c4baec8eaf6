#include "platform/posix/Mailslot.h"

#include "platform/mailslot/Mailslots.h"
#include "platform/netbios/NetBios.h"
#include "platform/posix/UnixPort.h"

#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace pellora::platform {

namespace {

using namespace netbios;

class NetBiosMailslotFile : public MailslotFile {
public:
    NetBiosMailslotFile(int fd, Target target, Name sourceName, QByteArray smbName)
        : fd_(fd), target_(std::move(target)), sourceName_(std::move(sourceName)), smbName_(std::move(smbName)) {}
    ~NetBiosMailslotFile() override { ::close(fd_); }
    NetBiosMailslotFile(const NetBiosMailslotFile&) = delete;
    NetBiosMailslotFile& operator=(const NetBiosMailslotFile&) = delete;

    bool Write(const QByteArray& message, QString* reason) override {
        const int limit = MaxMailslotData(smbName_);
        if (message.size() > limit) {
            if (reason)
                *reason = QStringLiteral("The message has %1 bytes; at most %2 fit.").arg(message.size()).arg(limit);
            return false;
        }
        bool anySent = false;
        int lastErrno = 0;
        for (const Target::Destination& destination : target_.destinations) {
            DatagramHeader header;
            header.type = target_.type;
            header.id = NextId();
            header.sourceAddress = destination.sourceAddress;
            header.sourcePort = kDatagramServicePort;
            header.sourceName = sourceName_;
            header.destinationName = target_.name;
            const std::optional<QByteArray> datagram = BuildMailslotDatagram(header, smbName_, message);
            if (!datagram)
                continue;
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(kDatagramServicePort);
            to.sin_addr.s_addr = htonl(destination.address);
            const ssize_t sent = ::sendto(fd_, datagram->constData(), static_cast<std::size_t>(datagram->size()),
                                          0 /* a datagram socket raises no SIGPIPE */,
                                          reinterpret_cast<const sockaddr*>(&to), sizeof to);
            if (sent == datagram->size())
                anySent = true;
            else
                lastErrno = sent < 0 ? errno : EMSGSIZE;
        }
        if (!anySent && reason)
            *reason = lastErrno ? QString::fromLocal8Bit(std::strerror(lastErrno)) + u'.' : QString();
        return anySent;
    }

private:
    int fd_;
    Target target_;
    Name sourceName_;
    QByteArray smbName_;
};

// A UDP socket for the datagrams: from port 138 when it can be bound, else from any port.
int DatagramSocket(bool broadcast) {
    const int fd = unixport::OpenSocket(AF_INET, SOCK_DGRAM, false);
    if (fd < 0)
        return -1;
    if (broadcast) {
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(kDatagramServicePort);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        local.sin_port = 0;
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

} // namespace

LocalIdentity ReadLocalIdentity(const QString& smbConfPath) {
    SambaNames names;
    QFile file(smbConfPath);
    if (!smbConfPath.isEmpty() && file.open(QIODevice::ReadOnly))
        names = ParseSmbConf(file.read(1 << 20));
    LocalIdentity identity;
    identity.netbiosName = names.netbiosName;
    if (identity.netbiosName.isEmpty()) {
        char host[HOST_NAME_MAX + 1] = {};
        if (::gethostname(host, sizeof host - 1) == 0)
            identity.netbiosName = QString::fromLocal8Bit(host).section(u'.', 0, 0);
    }
    identity.workgroup = names.workgroup.isEmpty() ? QStringLiteral("WORKGROUP") : names.workgroup;
    return identity;
}

NetBiosMailslots::NetBiosMailslots(NetBiosMailslotOptions options) : options_(std::move(options)) {}

std::unique_ptr<MailslotFile> NetBiosMailslots::Open(const QString& path, QString* reason) {
    auto file = OpenAndResolve(path);
    if (!file && reason)
        *reason = lastError_;
    return file;
}

std::unique_ptr<MailslotFile> NetBiosMailslots::OpenAndResolve(const QString& path) {
    lastError_.clear();
    lastResolution_.clear();
    const std::optional<MailslotPath> parsed = ParseMailslotPath(path);
    if (!parsed) {
        lastError_ = QStringLiteral("Not a mailslot path.");
        return nullptr;
    }
    if (!IsUsableComputerName(parsed->computer)) {
        lastError_ = QStringLiteral("The computer name cannot be used in a mailslot path.");
        return nullptr;
    }
    const LocalIdentity identity = ReadLocalIdentity(options_.smbConfPath);
    std::optional<Target> target = ResolveComputer(parsed->computer, identity.workgroup, options_.timings, &lastError_);
    if (!target)
        return nullptr;
    lastResolution_ = QStringLiteral("%1 at %2 (%3)")
                          .arg(Describe(target->name), AddressText(target->destinations.front().address), target->how);
    auto file = OpenResolvedMailslot(std::move(*target), MakeName(identity.netbiosName, 0x00),
                                     netbios::SmbMailslotName(parsed->mailslot));
    if (!file)
        lastError_ =
            QStringLiteral("No network socket could be made: %1.").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return file;
}

std::unique_ptr<MailslotFile> OpenResolvedMailslot(netbios::Target target, const netbios::Name& sourceName,
                                                   const QByteArray& smbMailslotName) {
    const int fd = DatagramSocket(target.type == kDirectGroup);
    if (fd < 0)
        return nullptr;
    return std::make_unique<NetBiosMailslotFile>(fd, std::move(target), sourceName, smbMailslotName);
}

std::shared_ptr<Mailslots> CreateSystemMailslots() { return std::make_shared<NetBiosMailslots>(); }

} // namespace pellora::platform
