#pragma once

// What the code of posix/ needs beyond POSIX itself: a few calls that each Unix system spells in
// its own way. linux/UnixPort.cpp gives them for Linux; a port to another Unix system (macOS, a
// BSD) gives the same functions in its own folder (docs/architecture.md lists what else it needs).

namespace pellora::platform::unixport {

// A pipe whose two ends are close-on-exec and non-blocking. 0, or -1 with errno set.
int OpenPipe(int fds[2]);

// A socket of `domain` (AF_INET, AF_UNIX) and `type` (SOCK_DGRAM) that is close-on-exec, and
// non-blocking when asked, made in one step so that no program started meanwhile inherits it.
// The descriptor, or -1 with errno set.
int OpenSocket(int domain, int type, bool nonBlocking);

// Renames `from` to `to` in the folder `at` only if `to` does not exist, decided in one step.
// 0; EEXIST when `to` exists; ENOSYS when the system or the file system cannot say in one step
// (the caller then falls back); or another errno value.
int RenameNoReplace(int at, const char* from, const char* to);

} // namespace pellora::platform::unixport
