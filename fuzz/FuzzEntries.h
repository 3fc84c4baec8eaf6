#pragma once

// What each fuzz target does with one input. Shared by the libFuzzer targets and by the
// ordinary test that replays the kept inputs, so that the normal build needs no libFuzzer.
// Each entry returns an empty string when the input was handled correctly, else what went
// wrong (the fuzz target turns that into a crash, the replay test into a failure).

#include <QString>

#include <cstddef>
#include <cstdint>

namespace pellora::fuzzing {

// Any bytes as a history file: the reader never fails, keeps at most 25 distinct entries, and
// what it read survives writing and reading back unchanged.
QString HistoryFile(const std::uint8_t* data, std::size_t size);

// Any bytes as the UDP answer to a name query: the first two bytes double as the transaction
// id the program waits for, and the name is the one the answer carries when it has one.
QString NameQueryReply(const std::uint8_t* data, std::size_t size);

// Any bytes as the UDP answer to a node status request.
QString NodeStatusReply(const std::uint8_t* data, std::size_t size);

// Any UTF-16 text for sender, recipient, computer and message (separated by U+FFFF; the first
// unit picks an OEM code page): the conversion, the Messenger packet, the NetBIOS names, the
// mailslot path and the datagram that would carry it.
QString Builders(const std::uint8_t* data, std::size_t size);

// Any bytes as a UDP payload received on port 138: the receiver's parser never reads outside
// it, and a Messenger message it accepts is three strings without NULs that fit one mailslot
// write, read back the same from the datagram a sender would build of them, and decode to text.
QString MessengerDatagram(const std::uint8_t* data, std::size_t size);

// Any bytes as a UDP payload received on port 137 by the receiver that answers for PC7 at
// 10.0.0.7: an answer goes back only to the asker, is one of a name's three kinds, names only
// this computer's address, and reads back as what it claims to be.
QString NameServiceRequest(const std::uint8_t* data, std::size_t size);

struct Entry {
    const char* name;
    QString (*run)(const std::uint8_t*, std::size_t);
};

// Every entry, by the name of its fuzz target.
inline constexpr Entry kEntries[] = {
    {"history_file", HistoryFile},
    {"name_query_reply", NameQueryReply},
    {"node_status_reply", NodeStatusReply},
    {"builders", Builders},
    {"messenger_datagram", MessengerDatagram},
    {"name_service_request", NameServiceRequest},
};

} // namespace pellora::fuzzing
