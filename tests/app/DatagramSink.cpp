// A stand-in for the receiving computer's datagram service in cli.sh: binds 127.0.0.1:138 in the
// test's own network namespace, creates READY once it listens, and writes each datagram it
// receives into OUTDIR as a file of its own (1, 2, ...: the bytes, as hex). Ends after 120 s.
//   pellora_datagram_sink OUTDIR READY
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTDIR READY\n", argv[0]);
        return 64;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(138);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        std::perror("bind 127.0.0.1:138");
        return 1;
    }
    if (std::FILE* ready = std::fopen(argv[2], "w"))
        std::fclose(ready);
    const std::time_t end = std::time(nullptr) + 120;
    for (int count = 1; std::time(nullptr) < end;) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 1000) <= 0)
            continue;
        unsigned char buffer[2048];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0)
            continue;
        const std::string path = std::string(argv[1]) + "/" + std::to_string(count++);
        const std::string partial = path + ".part";
        std::FILE* out = std::fopen(partial.c_str(), "w");
        if (out == nullptr)
            return 1;
        for (ssize_t i = 0; i < n; ++i)
            std::fprintf(out, "%02x", buffer[i]);
        std::fclose(out);
        std::rename(partial.c_str(), path.c_str()); // whole or not at all
    }
    return 0;
}
