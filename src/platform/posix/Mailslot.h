#pragma once

// The mailslot transport on a Unix system: a remote mailslot write sent as a NetBIOS datagram, exactly as
// a Windows machine puts it on the network. Open parses the path and resolves the computer;
// Write sends one datagram; destroying the file releases its socket.

#include "platform/mailslot/MailslotPath.h"
#include "platform/mailslot/Mailslots.h"
#include "platform/posix/NetBiosResolver.h"

#include <QString>

#include <memory>
#include <optional>

namespace pellora::platform {

struct NetBiosMailslotOptions {
    QString smbConfPath = QStringLiteral("/etc/samba/smb.conf");
    netbios::ResolverTimings timings;
};

// This machine's NetBIOS name (`netbios name` of smb.conf, else the first label of the host
// name) and its workgroup (`workgroup` of smb.conf, else "WORKGROUP").
struct LocalIdentity {
    QString netbiosName;
    QString workgroup;
};
LocalIdentity ReadLocalIdentity(const QString& smbConfPath);

// A mailslot file that sends to an already resolved `target` from `sourceName` (what Open
// returns after resolving); nullptr when no socket can be made.
std::unique_ptr<MailslotFile> OpenResolvedMailslot(netbios::Target target, const netbios::Name& sourceName,
                                                   const QByteArray& smbMailslotName);

class NetBiosMailslots : public Mailslots {
public:
    explicit NetBiosMailslots(NetBiosMailslotOptions options = {});
    std::unique_ptr<MailslotFile> Open(const QString& path, QString* reason) override;
    std::unique_ptr<MailslotFile> Open(const QString& path) { return Open(path, nullptr); }

    // Why the last Open failed: the reason it gave.
    const QString& lastError() const { return lastError_; }
    // How the last successful Open found its target.
    const QString& lastResolution() const { return lastResolution_; }

private:
    std::unique_ptr<MailslotFile> OpenAndResolve(const QString& path);

    NetBiosMailslotOptions options_;
    QString lastError_;
    QString lastResolution_;
};

} // namespace pellora::platform
