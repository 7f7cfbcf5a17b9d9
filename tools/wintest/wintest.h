// A minimal test runner for Win32-level test programs. GoogleTest does not build inside
// Winelib programs, so these use this instead; the same sources build as PE programs with
// MinGW. Each test is a function registered by WT_TEST; a failed check prints the case, the
// file and line, and marks the test failed without stopping it.
//
//   WT_TEST(OpenFindsTheCamera) {
//       WT_CHECK(channel.Open());
//       WT_CHECK_EQ(trace.size(), 2u);
//       WT_CHECK_HR(filter->Run(0), S_OK);   // HRESULTs: printed in hexadecimal
//   }
//   int main(int argc, char** argv) { return wintest::RunAll(argc, argv); }
//
// RunAll runs every test (or those whose name contains argv[1]) and prints the plain
// closing line "N passed, N failed"; it returns 0 only when nothing failed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace wintest {

struct TestCase {
    const char* name;
    void (*body)();
};

inline std::vector<TestCase>& Registry() {
    static std::vector<TestCase> tests;
    return tests;
}

inline bool& CurrentFailed() {
    static bool failed = false;
    return failed;
}

struct Registrar {
    Registrar(const char* name, void (*body)()) { Registry().push_back({name, body}); }
};

inline void Fail(const char* file, int line, const std::string& what) {
    std::fprintf(stderr, "%s:%d: FAILED: %s\n", file, line, what.c_str());
    std::fflush(stderr);
    CurrentFailed() = true;
}

template <typename T>
std::string Show(const T& value) {
    std::ostringstream out;
    out << value;
    return out.str();
}
// Wide text (camtools::WString in Winelib programs, where std::wstring must not be used).
template <typename Traits>
std::string Show(const std::basic_string<wchar_t, Traits>& value) {
    std::string out;
    for (wchar_t c : value) out += (c >= 32 && c < 127) ? char(c) : '?';
    return "L\"" + out + "\"";
}
inline std::string Show(const std::string& value) { return "\"" + value + "\""; }
inline std::string Show(unsigned char value) { return Show(unsigned(value)); }

// An HRESULT as Wine's tests print one: "0x80004005". Taken as 32 bits, since HRESULT is a
// `long` in MinGW and an `int` in Winelib.
inline std::string ShowHr(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", unsigned(value));
    return text;
}

inline void CheckHr(const char* file, int line, const char* text, uint32_t actual,
                    uint32_t expected, const std::string& context) {
    if (actual == expected) return;
    std::string what = std::string(text) + "  (" + ShowHr(actual) + " vs " + ShowHr(expected) + ")";
    Fail(file, line, context.empty() ? what : what + " [" + context + "]");
}

inline int RunAll(int argc, char** argv) {
    const char* filter = argc > 1 ? argv[1] : nullptr;
    int passed = 0, failed = 0;
    for (const TestCase& test : Registry()) {
        if (filter && !std::strstr(test.name, filter)) continue;
        std::printf("[ RUN  ] %s\n", test.name);
        std::fflush(stdout);
        CurrentFailed() = false;
        test.body();
        if (CurrentFailed()) {
            ++failed;
            std::printf("[ FAIL ] %s\n", test.name);
        } else {
            ++passed;
            std::printf("[  OK  ] %s\n", test.name);
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}

}  // namespace wintest

#define WT_TEST(name)                                           \
    static void name();                                         \
    static ::wintest::Registrar name##_registrar(#name, &name); \
    static void name()

#define WT_CHECK(cond)                                           \
    do {                                                         \
        if (!(cond)) ::wintest::Fail(__FILE__, __LINE__, #cond); \
    } while (0)

#define WT_CHECK_EQ(a, b)                                                                       \
    do {                                                                                        \
        const auto& wt_a_ = (a);                                                                \
        const auto& wt_b_ = (b);                                                                \
        if (!(wt_a_ == wt_b_))                                                                  \
            ::wintest::Fail(__FILE__, __LINE__,                                                 \
                            std::string(#a " == " #b "  (") + ::wintest::Show(wt_a_) + " vs " + \
                                ::wintest::Show(wt_b_) + ")");                                  \
    } while (0)

// Compares two HRESULTs and prints both in hexadecimal; `msg` names the case.
#define WT_CHECK_HR_MSG(a, b, msg) \
    ::wintest::CheckHr(__FILE__, __LINE__, #a " == " #b, uint32_t(a), uint32_t(b), (msg))
#define WT_CHECK_HR(a, b) \
    ::wintest::CheckHr(__FILE__, __LINE__, #a " == " #b, uint32_t(a), uint32_t(b), "")

// Adds context to every failure in the enclosing scope's messages: WT_CHECK_MSG(cond, "row 3").
#define WT_CHECK_MSG(cond, msg)                                                                  \
    do {                                                                                         \
        if (!(cond)) ::wintest::Fail(__FILE__, __LINE__, std::string(#cond " [") + (msg) + "]"); \
    } while (0)
