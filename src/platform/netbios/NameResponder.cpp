#include "platform/netbios/NameResponder.h"

#include <algorithm>

namespace pellora::platform::netbios {

NameResponder::NameResponder(const QString& computer, std::vector<std::uint32_t> ownAddresses, std::uint16_t firstId)
    : computer_(computer), ownAddresses_(std::move(ownAddresses)), firstId_(firstId) {
    for (const std::uint8_t suffix : {std::uint8_t{0x00}, std::uint8_t{0x03}}) {
        if (auto name = MakeExactName(computer, suffix))
            names_.push_back(*name);
    }
    if (names_.empty())
        state_ = State::GaveWay; // a name no other computer could look up
}

std::vector<Outgoing> NameResponder::RegistrationRound(std::uint32_t address, std::uint32_t broadcast) const {
    std::vector<Outgoing> out;
    if (state_ != State::Registering)
        return out;
    for (std::size_t i = 0; i < names_.size(); ++i)
        out.push_back({BuildNameRegistration(static_cast<std::uint16_t>(firstId_ + i), names_[i], address), broadcast});
    return out;
}

void NameResponder::FinishRegistration() {
    if (state_ == State::Registering)
        state_ = State::Active;
}

std::vector<Outgoing> NameResponder::Release(std::uint32_t address, std::uint32_t broadcast) const {
    std::vector<Outgoing> out;
    if (state_ == State::GaveWay)
        return out;
    for (std::size_t i = 0; i < names_.size(); ++i)
        out.push_back({BuildNameRelease(static_cast<std::uint16_t>(firstId_ + i), names_[i], address), broadcast});
    return out;
}

bool NameResponder::Ours(const Name& name) const {
    return std::find(names_.begin(), names_.end(), name) != names_.end();
}

std::vector<Outgoing> NameResponder::Take(const QByteArray& message, std::uint32_t from, std::uint16_t fromPort,
                                          std::uint32_t local, bool toBroadcast) {
    // Our own broadcasts heard back, and datagrams no answer could reach.
    if (IsThisComputer(from, ownAddresses_) || fromPort == 0 || from == 0 || from == 0xFFFFFFFFu || local == 0)
        return {};
    const auto packet = ParseNamePacket(message);
    if (!packet)
        return {};
    // A node status request asks for this computer's names by the wildcard, or by one of them.
    const bool status = packet->type == kTypeNbstat && packet->name == WildcardName();
    if (!status && !Ours(packet->name))
        return {};
    if (state_ == State::Registering) {
        // A computer that holds the name says so to one of our requests.
        const auto index = static_cast<std::uint16_t>(packet->id - firstId_);
        if (packet->response && packet->opcode == kOpcodeRegistration && packet->rcode != 0 && index < names_.size() &&
            names_[index] == packet->name) {
            state_ = State::GaveWay;
            defender_ = from;
        }
        return {};
    }
    if (state_ != State::Active || packet->response)
        return {};
    if (packet->opcode == kOpcodeQuery && packet->type == kTypeNb)
        return {{BuildNameQueryResponse(packet->id, packet->name, local), from, fromPort}};
    // Node status goes to one computer: a request to the whole network is not answered.
    if (packet->opcode == kOpcodeQuery && packet->type == kTypeNbstat && !toBroadcast)
        return {{BuildNodeStatusResponse(packet->id, packet->name, names_), from, fromPort}};
    if (packet->opcode == kOpcodeRegistration && packet->type == kTypeNb && packet->address &&
        !IsThisComputer(*packet->address, ownAddresses_))
        return {{BuildNegativeRegistrationResponse(packet->id, packet->name, local), from, fromPort}};
    return {};
}

} // namespace pellora::platform::netbios
