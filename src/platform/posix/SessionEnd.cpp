// The system's requests to stop, on a Unix system: SIGTERM (the end of the session, a shutdown, `kill`)
// and SIGHUP (the terminal or session the program was started from has gone). The signal
// handler only writes a byte into a pipe of the program's own, which is safe at any moment; the
// window thread reads it through a socket notifier and answers it there.

#include "platform/support/SessionEnd.h"

#include "platform/posix/UnixPort.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Guard.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace pellora::platform {

namespace {

// The pipe from the signal handler to the window thread: read end, write end.
int stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 0;
    // Non-blocking: when the pipe is full, the window thread has a byte to wake up for anyway.
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
    errno = saved;
}

[[noreturn]] void Fail(const char* call) {
    throw Error(ErrorNumber::Internal, QStringLiteral("Can't watch for the end of the session (%1: %2)")
                                           .arg(QLatin1String(call), QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace

void WatchStopRequests(std::function<void()> stop) {
    if (unixport::OpenPipe(stopPipe) != 0)
        Fail("pipe");
    auto* notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [stop = std::move(stop)] {
        char bytes[64];
        while (::read(stopPipe[0], bytes, sizeof bytes) > 0) {
        }
        Guarded(stop);
    });

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP}) {
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) != 0)
            Fail("sigaction");
        if (before.sa_handler == SIG_IGN)
            continue; // started to ignore it (nohup): it stays ignored
        if (::sigaction(signal, &action, nullptr) != 0)
            Fail("sigaction");
    }
}

} // namespace pellora::platform
