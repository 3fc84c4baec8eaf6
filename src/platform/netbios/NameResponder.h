#pragma once

// This computer answering for its own NetBIOS name where no other program of it does (no Samba
// nmbd): a B-node (RFC 1001 15.2, RFC 1002 5.1.1). It registers the name by broadcast, gives way
// when another computer defends it, answers name queries and node status requests, defends the
// name against others' registrations, and releases it at the end. Bytes in, bytes out: the
// sockets and the timer are the port's (linux/MessengerPort.cpp), so tests and the fuzzer drive
// this directly.

#include "platform/netbios/NetBios.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace pellora::platform::netbios {

// A datagram to send: to `address`:`port` (host byte order).
struct Outgoing {
    QByteArray bytes;
    std::uint32_t address = 0;
    std::uint16_t port = kNameServicePort;
};

class NameResponder {
public:
    enum class State { Registering, Active, GaveWay };

    // `computer`: the name answered, as `computer`<00> (the workstation) and `computer`<03> (the
    // Messenger service); `ownAddresses`: this computer's, whose datagrams are its own heard back;
    // `firstId`: the transaction id of the first registration request.
    NameResponder(const QString& computer, std::vector<std::uint32_t> ownAddresses, std::uint16_t firstId);

    // The registration requests of every name at `address`, broadcast to `broadcast`: one round of
    // the three that go out a quarter of a second apart.
    std::vector<Outgoing> RegistrationRound(std::uint32_t address, std::uint32_t broadcast) const;
    // After the last round and its wait: the names are this computer's, unless one was defended.
    void FinishRegistration();
    // What to send back for `message`, which came from `from`:`fromPort` to this computer's
    // address `local` (to a broadcast address of its network when `toBroadcast`).
    std::vector<Outgoing> Take(const QByteArray& message, std::uint32_t from, std::uint16_t fromPort,
                               std::uint32_t local, bool toBroadcast);
    // The release requests of every name at `address`, broadcast to `broadcast`; nothing once given way.
    std::vector<Outgoing> Release(std::uint32_t address, std::uint32_t broadcast) const;

    State state() const { return state_; }
    // The computer that defended the name (GaveWay).
    std::uint32_t defender() const { return defender_; }
    const QString& computer() const { return computer_; }

private:
    bool Ours(const Name& name) const;

    QString computer_;
    std::vector<Name> names_;
    std::vector<std::uint32_t> ownAddresses_;
    std::uint16_t firstId_;
    State state_ = State::Registering;
    std::uint32_t defender_ = 0;
};

} // namespace pellora::platform::netbios
