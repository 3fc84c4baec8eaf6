// The calls of posix/UnixPort.h, as Linux spells them.

#include "platform/posix/UnixPort.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pellora::platform::unixport {

int OpenPipe(int fds[2]) { return ::pipe2(fds, O_CLOEXEC | O_NONBLOCK); }

int OpenSocket(int domain, int type, bool nonBlocking) {
    return ::socket(domain, type | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
}

int RenameNoReplace(int at, const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(at, from, at, to, RENAME_NOREPLACE) == 0)
        return 0;
    return errno == EINVAL || errno == ENOSYS || errno == ENOTSUP ? ENOSYS : errno;
#else
    (void)at, (void)from, (void)to;
    return ENOSYS;
#endif
}

} // namespace pellora::platform::unixport
