#pragma once

// Where Messenger messages come in: on a Unix system the NetBIOS datagram port (UDP 138) of every
// IPv4 address of this computer and of its broadcast addresses, shared with Samba's nmbd; on
// Windows the mailslot \\.\mailslot\messngr, into which the system writes what comes from the
// network (linux/MessengerPort.cpp, win32/MessengerPort.cpp). One receiver per computer holds it.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

namespace pellora::platform {

struct IncomingDatagram {
    QByteArray payload;              // the UDP payload, or on Windows the mailslot data alone
    bool dataOnly = false;           // payload is the mailslot data (Windows), not a datagram
    std::uint32_t sourceAddress = 0; // the address it came from (host byte order); 0 when unknown
    bool broadcast = false;          // it came to a broadcast address
    bool fromThisComputer = false;   // it came from an address of this computer
};

class MessengerPort {
public:
    using Handler = std::function<void(const IncomingDatagram&)>;

    // Takes the port and hands every datagram that arrives to `handler`, from the thread's event
    // loop, which sleeps in the system until one comes. Throws pellora::Error with a sentence for
    // the user when it cannot: the right to use the port is missing, another receiver on this
    // computer holds it, or a program that does not share it does.
    explicit MessengerPort(Handler handler);
    ~MessengerPort();
    MessengerPort(const MessengerPort&) = delete;
    MessengerPort& operator=(const MessengerPort&) = delete;

    // Called when this user starts the receiver a second time (from the event loop).
    void SetShowHandler(std::function<void()> show);

    // Asks the receiver that holds the port to come to the front, when it is this user's; true when
    // it answered within a second. False for another user's, or when none answers.
    static bool AskRunningToShow();

    // Answers NetBIOS name queries for `computer` where no other program of this computer does
    // (Linux without Samba's nmbd: netbios/NameResponder.h), until the port closes; nothing on
    // Windows, whose system answers for its names. `changed` is called from the event loop when
    // what notice() says has changed.
    void AnswerName(const QString& computer, std::function<void()> changed);

    // What it listens on, for the user ("10.0.0.2:138", "\\.\mailslot\messngr").
    QStringList listening() const;
    // A word for the user about what the system may keep from it (Windows 24H2 and later do not
    // deliver remote mailslot messages unless allowed), about this computer's name (who answers
    // for it, or that another computer holds it), or that reading stopped on a failure (Windows);
    // empty when there is none.
    QString notice() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace pellora::platform
