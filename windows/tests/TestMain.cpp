// Runs the registered tests and prints one line per failure or skip, then the summary line.
//   pellora-windows-tests              every test
//   pellora-windows-tests GROUP...     only the tests of these groups
// Status: 0 all passed, 1 a failure, 77 none failed but one skipped or none ran.
//   pellora-windows-tests --serve-messenger SECONDS FILE
//                                      no tests: receives messages for a test of the program
//                                      (MailslotTest.cpp)

#include "Check.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace check {

namespace {
int failuresInTest = 0;
} // namespace

std::vector<Test>& Registry() {
    static std::vector<Test> tests;
    return tests;
}

void Fail(const char* file, int line, const std::string& what) {
    const char* base = std::strrchr(file, '/');
    std::printf("    %s:%d: %s\n", base ? base + 1 : file, line, what.c_str());
    ++failuresInTest;
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char piece[4];
    for (unsigned char c : bytes) {
        std::snprintf(piece, sizeof piece, "%02X", c);
        if (!out.empty())
            out += ' ';
        out += piece;
    }
    return out;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(needed > 0 ? static_cast<std::size_t>(needed) : 0, '\0');
    if (needed > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), needed, nullptr, nullptr);
    return out;
}

} // namespace check

int ServeMessenger(int seconds, const char* file);

// A test may start this program again through the shell; such a start only proves that the
// program ran and ends at once.
int main(int argc, char** argv) {
    if (GetEnvironmentVariableW(L"PELLORA_TEST_CHILD", nullptr, 0) != 0)
        return 0;

    if (argc == 4 && std::strcmp(argv[1], "--serve-messenger") == 0)
        return ServeMessenger(std::atoi(argv[2]), argv[3]);

    std::vector<std::string> groups(argv + 1, argv + argc);
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    for (const check::Test& test : check::Registry()) {
        if (!groups.empty()) {
            bool wanted = false;
            for (const std::string& group : groups)
                wanted = wanted || group == test.group;
            if (!wanted)
                continue;
        }
        std::printf("%s: %s\n", test.group, test.name);
        std::fflush(stdout);
        check::failuresInTest = 0;
        bool skip = false;
        try {
            test.body();
        } catch (const check::Stop& stop) {
            if (stop.skipped) {
                skip = true;
                std::printf("    SKIPPED: %s\n", stop.reason.c_str());
            }
        } catch (const std::exception& e) {
            check::Fail("exception", 0, e.what());
        }
        if (skip && check::failuresInTest == 0)
            ++skipped;
        else if (check::failuresInTest == 0)
            ++passed;
        else {
            ++failed;
            std::printf("    FAILED\n");
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    // 77: something did not run, which CTest reports as not run (SKIP_RETURN_CODE); so does a
    // run that ran nothing.
    if (failed != 0)
        return 1;
    return skipped != 0 || passed == 0 ? 77 : 0;
}
