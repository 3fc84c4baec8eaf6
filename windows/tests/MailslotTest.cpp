// The mailslot transport against a real local mailslot: what the reader receives is exactly
// what was written, one message per write, and a mailslot nobody serves cannot be opened.

#include "Check.h"
#include "platform/win32/Win32Api.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

using pellora::win32::MailslotFile;

namespace {

std::string Bytes(std::initializer_list<unsigned char> bytes) { return std::string(bytes.begin(), bytes.end()); }

// A mailslot served by this process for the length of one test.
class Server {
public:
    explicit Server(const std::wstring& path) : handle_(CreateMailslotW(path.c_str(), 0, 0, nullptr)) {
        if (handle_ == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ALREADY_EXISTS)
            SKIP("another program serves " + check::Narrow(path) + " on this computer");
    }
    ~Server() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

    // Every message waiting, in order.
    std::vector<std::string> Messages() {
        std::vector<std::string> messages;
        for (;;) {
            DWORD next = 0;
            DWORD count = 0;
            if (!GetMailslotInfo(handle_, nullptr, &next, &count, nullptr) || next == MAILSLOT_NO_MESSAGE)
                return messages;
            std::string message(next, '\0');
            DWORD read = 0;
            if (!ReadFile(handle_, message.data(), next, &read, nullptr))
                return messages;
            message.resize(read);
            messages.push_back(message);
        }
    }

private:
    HANDLE handle_;
};

const std::wstring kMessenger = L"\\\\.\\mailslot\\messngr";

} // namespace

TEST("mailslot", "a packet written to computer \".\" arrives byte for byte as one message") {
    Server server(kMessenger);
    REQUIRE(server.ok());
    {
        auto slot = MailslotFile::Open(kMessenger);
        REQUIRE(slot != nullptr);
        const std::string packet = Bytes({0x41, 0x6E, 0x6E, 0x00, 0x42, 0x6F, 0x62, 0x00, 0x48, 0x69, 0x00});
        unsigned long error = 1;
        unsigned long written = 0;
        CHECK(slot->Write(packet, &error, &written));
        CHECK_EQ(error, 0ul);
        CHECK_EQ(written, 11ul);
    }
    const auto messages = server.Messages();
    REQUIRE(messages.size() == 1);
    CHECK_EQ(messages[0], Bytes({0x41, 0x6E, 0x6E, 0x00, 0x42, 0x6F, 0x62, 0x00, 0x48, 0x69, 0x00}));
}

TEST("mailslot", "line breaks, high bytes and a long text pass unchanged, each write its own message") {
    Server server(kMessenger);
    REQUIRE(server.ok());
    const std::string twoLines =
        Bytes({0x41, 0x00, 0x42, 0x00, 0x48, 0x69, 0x0D, 0x0A, 0x74, 0x68, 0x65, 0x72, 0x65, 0x00});
    const std::string highBytes = Bytes({0x8F, 0xE0, 0xA8, 0x00, 0x81, 0xE1, 0x00, 0xFF, 0x80, 0x00});
    const std::string longText = std::string("A\0B\0", 4) + std::string(3000, 'x') + std::string(1, '\0');
    auto slot = MailslotFile::Open(kMessenger);
    REQUIRE(slot != nullptr);
    CHECK(slot->Write(twoLines));
    CHECK(slot->Write(highBytes));
    CHECK(slot->Write(longText));
    const auto messages = server.Messages();
    REQUIRE(messages.size() == 3);
    CHECK_EQ(messages[0], twoLines);
    CHECK_EQ(messages[1], highBytes);
    CHECK_EQ(messages[2], longText);
}

TEST("mailslot-1252", "the path reaches the system in the ANSI code page") {
    if (GetACP() != 1252)
        SKIP("needs ANSI code page 1252, this system has " + std::to_string(GetACP()));
    // "é" is one byte (E9) in code page 1252: the mailslot the wide name made is found.
    const std::wstring path = L"\\\\.\\mailslot\\pellora-caf\u00e9";
    Server server(path);
    REQUIRE(server.ok());
    auto slot = MailslotFile::Open(path);
    REQUIRE(slot != nullptr);
    CHECK(slot->Write("Hi"));
    const auto messages = server.Messages();
    REQUIRE(messages.size() == 1);
    CHECK_EQ(messages[0], std::string("Hi"));
}

TEST("mailslot", "a mailslot that nobody serves cannot be opened") {
    unsigned long error = 0;
    CHECK(MailslotFile::Open(L"\\\\.\\mailslot\\pellora-nobody-here", &error) == nullptr);
    CHECK_EQ(error, static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
    // In the Western and Cyrillic pages a Chinese character becomes '?' and so names no mailslot.
    if (GetACP() == 1252 || GetACP() == 1251) {
        Server server(L"\\\\.\\mailslot\\pellora-\u4e2d");
        CHECK(MailslotFile::Open(L"\\\\.\\mailslot\\pellora-\u4e2d") == nullptr);
    }
    // The messenger's own mailslot, once the tests above have closed theirs; on a computer
    // where a message receiver runs, it is served and this part cannot be tried.
    if (MailslotFile::Open(kMessenger) != nullptr)
        SKIP("another program serves \\\\.\\mailslot\\messngr on this computer");
}

// pellora-windows-tests --serve-messenger SECONDS FILE: the message receiver for a test that
// drives the program itself. Serves \\.\mailslot\messngr, prints "serving" once it does, and
// writes every message that arrives, as hex bytes (41 6E 6E 00 ...), one line each, to FILE:
// those of the first SECONDS seconds, and once one has come, those of one more second.
// Returns 0 when at least one message came.
int ServeMessenger(int seconds, const char* file) {
    Server server(kMessenger);
    if (!server.ok()) {
        std::printf("cannot serve the mailslot (error %lu)\n", GetLastError());
        return 2;
    }
    std::printf("serving\n");
    std::fflush(stdout);
    std::vector<std::string> messages;
    for (DWORD start = GetTickCount(), firstAt = 0;;) {
        for (const std::string& message : server.Messages())
            messages.push_back(message);
        if (!messages.empty() && firstAt == 0)
            firstAt = GetTickCount();
        const DWORD now = GetTickCount();
        if ((firstAt != 0 && now - firstAt >= 1000) || now - start >= static_cast<DWORD>(seconds) * 1000)
            break;
        Sleep(20);
    }
    FILE* out = std::fopen(file, "wb");
    if (out == nullptr)
        return 2;
    for (const std::string& message : messages)
        std::fprintf(out, "%s\n", check::Hex(message).c_str());
    std::fclose(out);
    return messages.empty() ? 1 : 0;
}

TEST("mailslot", "the reason under a failed open: the system's text, and for 3025 the policy to turn on") {
    // ERROR_REMOTE_MAILSLOTS_DEPRECATED, as Windows 11 24H2 answers CreateFile of a remote
    // mailslot while the policy is off.
    CHECK_EQ(pellora::win32::MailslotErrorText(3025),
             std::wstring(L"Remote mailslots are turned off on this computer. An administrator turns them on with "
                          L"the policy \"Enable remote mailslots\" (Computer Configuration > Administrative "
                          L"Templates > Network > Lanman Workstation); the receiving computer needs its own policy "
                          L"\"Enable remote mailslots\" on too (Lanman Server)."));
    // Any other error: the system's own text, without its line break.
    unsigned long error = 0;
    CHECK(MailslotFile::Open(L"\\\\.\\mailslot\\pellora-nobody-here", &error) == nullptr);
    CHECK_EQ(pellora::win32::MailslotErrorText(error), pellora::win32::ErrorText(ERROR_FILE_NOT_FOUND));
    CHECK(!pellora::win32::MailslotErrorText(error).empty());
    CHECK(pellora::win32::MailslotErrorText(error).back() != L'\n');
}
