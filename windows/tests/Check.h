#pragma once

// A small test runner for the Windows programs: tests register themselves by group and name,
// CHECK records a failure and goes on, REQUIRE and SKIP end the test. main() runs every test
// (or those whose group is named on the command line) and ends with "N passed, N failed".

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace check {

struct Test {
    const char* group;
    const char* name;
    std::function<void()> body;
};

std::vector<Test>& Registry();

struct Register {
    Register(const char* group, const char* name, std::function<void()> body) {
        Registry().push_back({group, name, std::move(body)});
    }
};

// Thrown by REQUIRE (the test cannot go on) and by SKIP.
struct Stop {
    bool skipped;
    std::string reason;
};

void Fail(const char* file, int line, const std::string& what);

// Bytes as "41 6E 00" for failure messages.
std::string Hex(const std::string& bytes);
// UTF-16 text as UTF-8 for failure messages.
std::string Narrow(const std::wstring& text);

} // namespace check

#define CHECK_CONCAT2(a, b) a##b
#define CHECK_CONCAT(a, b) CHECK_CONCAT2(a, b)
#define TEST(group, name)                                                                                              \
    static void CHECK_CONCAT(test_, __LINE__)();                                                                       \
    static const check::Register CHECK_CONCAT(register_, __LINE__)(group, name, CHECK_CONCAT(test_, __LINE__));        \
    static void CHECK_CONCAT(test_, __LINE__)()

#define CHECK(condition)                                                                                               \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            check::Fail(__FILE__, __LINE__, #condition);                                                               \
    } while (false)

#define REQUIRE(condition)                                                                                             \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            check::Fail(__FILE__, __LINE__, #condition);                                                               \
            throw check::Stop{false, {}};                                                                              \
        }                                                                                                              \
    } while (false)

// Compares two values that can be written to a stream (or byte strings, shown in hex).
#define CHECK_EQ(actual, expected)                                                                                     \
    do {                                                                                                               \
        const auto& check_a = (actual);                                                                                \
        const auto& check_e = (expected);                                                                              \
        if (!(check_a == check_e)) {                                                                                   \
            std::ostringstream check_s;                                                                                \
            check_s << #actual << " == " << #expected << " (got " << check::Show(check_a) << ", expected "             \
                    << check::Show(check_e) << ")";                                                                    \
            check::Fail(__FILE__, __LINE__, check_s.str());                                                            \
        }                                                                                                              \
    } while (false)

#define SKIP(reason)                                                                                                   \
    throw check::Stop { true, (reason) }

namespace check {
// Built piece by piece: GCC 12 warns falsely (-Wrestrict) about "[" + text + "]" at -O3.
inline std::string Enclosed(const char* open, const std::string& text, const char* close) {
    std::string out(open);
    out += text;
    out += close;
    return out;
}
inline std::string Show(const std::string& bytes) { return Enclosed("[", Hex(bytes), "]"); }
inline std::string Show(const std::wstring& text) { return Enclosed("\"", Narrow(text), "\""); }
inline std::string Show(const wchar_t* text) { return Enclosed("\"", Narrow(text), "\""); }
inline std::string Show(const char* text) { return Enclosed("[", Hex(text), "]"); }
template <typename T> T Show(const T& value) { return value; }
} // namespace check
