// A rogue node for the network test bed: answers NetBIOS name queries and node status
// requests on UDP port 137 in one of several wrong ways.
//
//   pellora_rogue_node MODE ADDRESS [SECONDS [OTHER_ADDRESS]]
// MODE:
//   good        a correct answer (ADDRESS as the name's address; "ROGUE" as the node's name)
//   group       a correct answer, but for a group name: whatever name is asked is a group
//               whose member is ADDRESS
//   elsewhere   answers correct in their bytes but sent from where no answer may come: the
//               name query answer from another port (as any user of the node could send it),
//               the node status answer from another port and from OTHER_ADDRESS (an address of
//               this node's namespace that was not asked)
//   silent      no answer
//   wrong-id    a correct answer under another transaction id
//   wrong-name  an answer for another name (name query) or not for the wildcard (node status)
//   truncated   the correct answer cut short at several lengths
//   oversized   a record longer than the datagram, then a sound answer of several kilobytes
//               (1200 addresses; a name table of 255 names whose one unique <00> name is last)
//   flood       for 3 s after each request, as many wrong answers as the link carries (other
//               transaction id, cut short, or sixteen answers for other names)
// Prints "ready" once it listens, and "request <id> <type>" for each request it sees; ends
// after SECONDS (default 120).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

void Put16(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void Put32(Bytes& out, std::uint32_t value) {
    Put16(out, value >> 16);
    Put16(out, value & 0xFFFF);
}

// First-level encoding of a 16-byte NetBIOS name.
Bytes Encode(const std::string& name, std::uint8_t suffix) {
    std::string padded = name.substr(0, 15);
    padded.resize(15, ' ');
    padded.push_back(static_cast<char>(suffix));
    Bytes out{0x20};
    for (const char c : padded) {
        const auto b = static_cast<std::uint8_t>(c);
        out.push_back(static_cast<std::uint8_t>('A' + (b >> 4)));
        out.push_back(static_cast<std::uint8_t>('A' + (b & 0x0F)));
    }
    out.push_back(0);
    return out;
}

Bytes Answer(unsigned id, const Bytes& rrName, unsigned type, const Bytes& data, unsigned dataLength) {
    Bytes out;
    Put16(out, id);
    Put16(out, type == 0x20 ? 0x8500 : 0x8400);
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, 0);
    Put16(out, 0);
    out.insert(out.end(), rrName.begin(), rrName.end());
    Put16(out, type);
    Put16(out, 1);
    Put32(out, 300000);
    Put16(out, dataLength);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes NbData(std::uint32_t address, int entries, bool group = false) {
    Bytes data;
    for (int i = 0; i < entries; ++i) {
        Put16(data, group ? 0x8000 : 0x0000);
        Put32(data, address);
    }
    return data;
}

// A name table of `names` names "ROGUE<00>"; all but the last are group names when
// `uniqueLast`.
Bytes StatusData(int names, bool uniqueLast = false) {
    Bytes data{static_cast<std::uint8_t>(names)};
    for (int i = 0; i < names; ++i) {
        std::string name = "ROGUE";
        name.resize(15, ' ');
        data.insert(data.end(), name.begin(), name.end());
        data.push_back(0x00);
        Put16(data, uniqueLast && i + 1 < names ? 0x8400 : 0x0400);
    }
    data.resize(data.size() + 46, 0);
    return data;
}

// A name query response to `id` whose 16 answers are all for another name: the most work a
// reader spends on one datagram before it finds that it answers nothing.
Bytes ManyOtherNames(unsigned id, std::uint32_t address) {
    Bytes out;
    Put16(out, id);
    Put16(out, 0x8500);
    Put16(out, 0);
    Put16(out, 16);
    Put16(out, 0);
    Put16(out, 0);
    const Bytes other = Encode("SOMEONEELSE", 0);
    const Bytes data = NbData(address, 1);
    for (int i = 0; i < 16; ++i) {
        out.insert(out.end(), other.begin(), other.end());
        Put16(out, 0x20);
        Put16(out, 1);
        Put32(out, 300000);
        Put16(out, static_cast<unsigned>(data.size()));
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s MODE ADDRESS [SECONDS]\n", argv[0]);
        return 64;
    }
    const std::string mode = argv[1];
    in_addr own{};
    if (::inet_pton(AF_INET, argv[2], &own) != 1)
        return 64;
    const std::uint32_t address = ntohl(own.s_addr);
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 120;
    in_addr other{};
    if (mode == "elsewhere" && (argc < 5 || ::inet_pton(AF_INET, argv[4], &other) != 1))
        return 64;

    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(137);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::perror("bind");
        return 1;
    }
    // For "elsewhere": a socket on another port, and one on OTHER_ADDRESS, port 137.
    int otherPort = -1;
    int otherAddress = -1;
    if (mode == "elsewhere") {
        otherPort = ::socket(AF_INET, SOCK_DGRAM, 0);
        otherAddress = ::socket(AF_INET, SOCK_DGRAM, 0);
        ::setsockopt(otherAddress, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(137);
        at.sin_addr = other;
        if (::bind(otherAddress, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
            std::perror("bind other address");
            return 1;
        }
    }
    std::printf("ready\n");
    std::fflush(stdout);

    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            continue;
        std::uint8_t buffer[1500];
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        // A request: not a response, one question with an encoded name of 34 bytes.
        if (n < 12 + 34 + 4 || (buffer[2] & 0x80) != 0 || buffer[12] != 0x20)
            continue;
        const unsigned id = (buffer[0] << 8) | buffer[1];
        const unsigned type = (buffer[12 + 34] << 8) | buffer[12 + 34 + 1];
        if (type != 0x20 && type != 0x21)
            continue;
        std::printf("request %u %s\n", id, type == 0x20 ? "name-query" : "node-status");
        std::fflush(stdout);
        const Bytes asked(buffer + 12, buffer + 12 + 34);

        const Bytes data = type == 0x20 ? NbData(address, 1, mode == "group") : StatusData(1);
        const Bytes good = Answer(id, asked, type, data, static_cast<unsigned>(data.size()));
        std::vector<Bytes> replies;
        if (mode == "good" || mode == "group") {
            replies.push_back(good);
        } else if (mode == "elsewhere") {
            for (const int sender : {otherPort, otherAddress}) {
                if (type == 0x21 || sender == otherPort)
                    ::sendto(sender, good.data(), good.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
            }
        } else if (mode == "wrong-id") {
            replies.push_back(Answer(id ^ 0x5A5A, asked, type, data, static_cast<unsigned>(data.size())));
            replies.push_back(Answer((id + 1) & 0xFFFF, asked, type, data, static_cast<unsigned>(data.size())));
        } else if (mode == "wrong-name") {
            replies.push_back(Answer(id, Encode(type == 0x20 ? "SOMEONEELSE" : "ROGUE", 0), type, data,
                                     static_cast<unsigned>(data.size())));
        } else if (mode == "truncated") {
            for (const std::size_t cut :
                 {std::size_t(2), std::size_t(12), std::size_t(40), good.size() / 2, good.size() - 1})
                replies.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        } else if (mode == "oversized") {
            replies.push_back(Answer(id, asked, type, data, 0xFFFF));
            const Bytes big = type == 0x20 ? NbData(address, 1200) : StatusData(255, true);
            Bytes huge = Answer(id, asked, type, big, static_cast<unsigned>(big.size()));
            huge.resize(std::max<std::size_t>(huge.size(), 7000), 0);
            replies.push_back(huge);
        } else if (mode == "flood") {
            // Until 3 s after the last request: wrong answers to whoever asked last, taking in
            // new requests on the way.
            Bytes wrongId = Answer(id ^ 1, asked, type, data, static_cast<unsigned>(data.size()));
            Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() - 1));
            Bytes costly = type == 0x20 ? ManyOtherNames(id, address) : cut;
            auto floodEnd = std::min(end, Clock::now() + std::chrono::seconds(3));
            long sent = 0;
            while (Clock::now() < floodEnd && sent < 5000000) {
                const Bytes& r = sent % 3 == 0 ? wrongId : sent % 3 == 1 ? cut : costly;
                ::sendto(fd, r.data(), r.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
                ++sent;
                if ((sent & 63) != 0)
                    continue;
                sockaddr_in asker{};
                socklen_t askerLength = sizeof asker;
                const ssize_t m = ::recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                             reinterpret_cast<sockaddr*>(&asker), &askerLength);
                if (m < 12 + 34 + 4 || (buffer[2] & 0x80) != 0 || buffer[12] != 0x20)
                    continue;
                from = asker;
                fromLength = askerLength;
                const unsigned newId = (buffer[0] << 8) | buffer[1];
                const unsigned newType = (buffer[12 + 34] << 8) | buffer[12 + 34 + 1];
                std::printf("request %u %s\n", newId, newType == 0x20 ? "name-query" : "node-status");
                std::fflush(stdout);
                const Bytes newAsked(buffer + 12, buffer + 12 + 34);
                const Bytes newData = newType == 0x20 ? NbData(address, 1) : StatusData(1);
                wrongId = Answer(newId ^ 1, newAsked, newType, newData, static_cast<unsigned>(newData.size()));
                const Bytes newGood = Answer(newId, newAsked, newType, newData, static_cast<unsigned>(newData.size()));
                cut.assign(newGood.begin(), newGood.end() - 1);
                costly = newType == 0x20 ? ManyOtherNames(newId, address) : cut;
                floodEnd = std::min(end, Clock::now() + std::chrono::seconds(3));
            }
            std::printf("flooded %ld\n", sent);
            std::fflush(stdout);
        }
        for (const Bytes& r : replies)
            ::sendto(fd, r.data(), r.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
    }
    ::close(fd);
    if (otherPort >= 0)
        ::close(otherPort);
    if (otherAddress >= 0)
        ::close(otherAddress);
    return 0;
}
