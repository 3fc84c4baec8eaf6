// The Messenger port on Windows: the mailslot \\.\mailslot\messngr, into which the system writes
// the Messenger messages that reach this computer (from the network where remote mailslots are
// allowed, and from this computer). A thread waits in ReadFile and hands each message to the
// event loop of the thread that made the port.
#include "platform/support/MessengerPort.h"
#include "platform/runtime/Error.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <thread>

namespace pellora::platform {

namespace {

// The largest message the mailslot takes (the system refuses a larger write).
constexpr DWORD kMaxMessage = 64 * 1024;

// Windows 11 24H2 and Windows Server 2025 and later keep remote mailslot messages from this
// mailslot unless an administrator allows them.
bool RemoteMailslotsMayBeOff() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (!ntdll)
        return false;
    const auto get =
        reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!get || get(&version) != 0)
        return false;
    return version.dwMajorVersion > 10 || (version.dwMajorVersion == 10 && version.dwBuildNumber >= 26100);
}

} // namespace

struct MessengerPort::Impl {
    Handler handler;
    HANDLE slot = INVALID_HANDLE_VALUE;
    std::thread reader;
    std::atomic<bool> stopping{false};
    QObject context; // lives on the thread that made the port; a message is handed over through it
    std::function<void()> noticeChanged;
    QString failure; // why the reader stopped before the port closed; empty while it reads

    // From the reader: it stops before its time, and the window says so instead of listening on.
    void ReaderFailed(DWORD error) {
        QMetaObject::invokeMethod(
            &context,
            [this, error] {
                failure = QStringLiteral("Pellora Receiver stopped reading the mailslot \\\\.\\mailslot\\messngr "
                                         "(error %1): messages that arrive from now on are not shown. Close it and "
                                         "start it again.")
                              .arg(error);
                try {
                    if (noticeChanged)
                        noticeChanged();
                } catch (const std::exception&) {
                    // The window keeps its own failures; nothing crosses the event loop.
                }
            },
            Qt::QueuedConnection);
    }
};

MessengerPort::MessengerPort(Handler handler) : impl_(std::make_unique<Impl>()) {
    impl_->handler = std::move(handler);
    impl_->slot = ::CreateMailslotW(L"\\\\.\\mailslot\\messngr", kMaxMessage, MAILSLOT_WAIT_FOREVER, nullptr);
    if (impl_->slot == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS)
            throw Error(ErrorNumber::PermissionDenied,
                        QStringLiteral("Another Pellora Receiver, or another program, on this computer already holds "
                                       "the Messenger mailslot \\\\.\\mailslot\\messngr."));
        throw Error(ErrorNumber::PathFileAccess,
                    QStringLiteral("Can't create the mailslot \\\\.\\mailslot\\messngr (error %1).").arg(error));
    }
    Impl* impl = impl_.get();
    impl->reader = std::thread([impl] {
        // A Messenger message is far smaller than 1 KiB; a larger one is read whole all the same (a
        // mailslot keeps a message that does not fit and fails every read until one does) and
        // handed over to be counted as malformed.
        QByteArray buffer(1024, Qt::Uninitialized);
        for (;;) {
            DWORD read = 0;
            if (!::ReadFile(impl->slot, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
                const DWORD error = ::GetLastError();
                if (impl->stopping.load())
                    return;
                if (error != ERROR_INSUFFICIENT_BUFFER) {
                    impl->ReaderFailed(error);
                    return;
                }
                DWORD next = MAILSLOT_NO_MESSAGE;
                if (!::GetMailslotInfo(impl->slot, nullptr, &next, nullptr, nullptr) || next == MAILSLOT_NO_MESSAGE ||
                    next <= static_cast<DWORD>(buffer.size()) || next > kMaxMessage) {
                    impl->ReaderFailed(error); // nothing that a read could use: stop rather than spin
                    return;
                }
                buffer.resize(static_cast<qsizetype>(next));
                continue;
            }
            if (impl->stopping.load())
                return;
            IncomingDatagram datagram;
            datagram.payload = buffer.left(static_cast<qsizetype>(read));
            datagram.dataOnly = true;
            QMetaObject::invokeMethod(
                &impl->context,
                [impl, datagram] {
                    try {
                        impl->handler(datagram);
                    } catch (const std::exception&) {
                        // The handler keeps its own failures; nothing crosses the event loop.
                    }
                },
                Qt::QueuedConnection);
        }
    });
}

MessengerPort::~MessengerPort() {
    impl_->stopping = true;
    if (impl_->reader.joinable()) {
        // The reader waits in ReadFile: one message of its own wakes it, and it sees that it is to stop.
        const HANDLE client = ::CreateFileW(L"\\\\.\\mailslot\\messngr", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (client != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(client, "", 0, &written, nullptr);
            ::CloseHandle(client);
            impl_->reader.join();
        } else {
            impl_->reader.detach(); // cannot wake it: it ends with the process
        }
    }
    ::CloseHandle(impl_->slot);
}

void MessengerPort::SetShowHandler(std::function<void()>) {}

// Windows answers for this computer's names itself; what notice() says changes only when the
// reader stops.
void MessengerPort::AnswerName(const QString&, std::function<void()> changed) {
    impl_->noticeChanged = std::move(changed);
}

// On Windows the mailslot says nothing of who holds it: a second start says that it is held.
bool MessengerPort::AskRunningToShow() { return false; }

QStringList MessengerPort::listening() const { return {QStringLiteral("\\\\.\\mailslot\\messngr")}; }

QString MessengerPort::notice() const {
    if (!impl_->failure.isEmpty())
        return impl_->failure;
    if (!RemoteMailslotsMayBeOff())
        return QString();
    return QStringLiteral(
        "This version of Windows delivers Messenger messages from other computers only where an administrator "
        "allows remote mailslots: the policies \"Enable remote mailslots\" under Computer Configuration > "
        "Administrative Templates > Network > Lanman Workstation and > Lanman Server (registry: EnableMailslots = 1 "
        "under HKLM\\Software\\Policies\\Microsoft\\Windows\\NetworkProvider and "
        "HKLM\\Software\\Policies\\Microsoft\\Windows\\Bowser). Messages from this computer still arrive.");
}

} // namespace pellora::platform
