// SPDX-License-Identifier: GPL-2.0-or-later
// A very small test harness for the programs that run under Wine: no Qt
// there, and the Windows backends must not need anything beyond Win32 and
// the standard library. Cases register themselves; the program runs every
// case, or those named on its command line, and exits with the number of
// failed cases.
#pragma once

#include <cstdio>
#include <cwchar>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace wincheck {

struct Case {
    const char *name;
    void (*body)();
};

inline std::vector<Case> &cases()
{
    static std::vector<Case> all;
    return all;
}

inline int &failures()
{
    static int count = 0;
    return count;
}

struct Registrar {
    Registrar(const char *name, void (*body)()) { cases().push_back({name, body}); }
};

inline std::string narrow(const std::wstring &text)
{
    std::string out;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7f) {
            out += char(c);
        } else {
            char buffer[12];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", unsigned(c));
            out += buffer;
        }
    }
    return out;
}

template <typename T> std::string show(const T &value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}
inline std::string show(const std::wstring &value)
{
    return "L\"" + narrow(value) + "\"";
}
inline std::string show(const wchar_t *value)
{
    return show(std::wstring(value ? value : L"(null)"));
}
inline std::string show(bool value)
{
    return value ? "true" : "false";
}
inline std::string show(unsigned char value)
{
    return show(unsigned(value));
}

inline void fail(const char *file, int line, const std::string &what)
{
    std::printf("  %s:%d: %s\n", file, line, what.c_str());
    std::fflush(stdout);
    ++failures();
}

inline void note(const std::string &text)
{
    std::printf("  note: %s\n", text.c_str());
    std::fflush(stdout);
}

inline int run(int argc, wchar_t **argv)
{
    int failedCases = 0;
    int ran = 0;
    for (const Case &c : cases()) {
        bool wanted = argc <= 1;
        for (int i = 1; i < argc; ++i)
            wanted = wanted || narrow(argv[i]) == c.name;
        if (!wanted)
            continue;
        ++ran;
        const int before = failures();
        std::printf("RUN  %s\n", c.name);
        std::fflush(stdout);
        c.body();
        const bool ok = failures() == before;
        std::printf("%s %s\n", ok ? "PASS" : "FAIL", c.name);
        std::fflush(stdout);
        if (!ok)
            ++failedCases;
    }
    if (ran == 0) {
        std::printf("no test case matched\n");
        return 1;
    }
    std::printf("%d of %d cases passed\n", ran - failedCases, ran);
    return failedCases;
}

} // namespace wincheck

#define WINCHECK_CASE(name)                                                                                            \
    static void name();                                                                                                \
    static const wincheck::Registrar name##_registrar(#name, &name);                                                   \
    static void name()

// Records a failure and carries on with the case.
#define CHECK(cond)                                                                                                    \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            wincheck::fail(__FILE__, __LINE__, "CHECK(" #cond ") failed");                                             \
    } while (0)

#define CHECK_EQ(actual, expected)                                                                                     \
    do {                                                                                                               \
        const auto &wincheck_a = (actual);                                                                             \
        const auto &wincheck_e = (expected);                                                                           \
        if (!(wincheck_a == wincheck_e))                                                                               \
            wincheck::fail(__FILE__, __LINE__,                                                                         \
                           "CHECK_EQ(" #actual ", " #expected "): " + wincheck::show(wincheck_a) +                     \
                               " != " + wincheck::show(wincheck_e));                                                   \
    } while (0)

// Ends the case when the condition does not hold (later checks depend on it).
#define REQUIRE(cond)                                                                                                  \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            wincheck::fail(__FILE__, __LINE__, "REQUIRE(" #cond ") failed");                                           \
            return;                                                                                                    \
        }                                                                                                              \
    } while (0)
