#pragma once
// What every harness shares: a failed property prints what it saw and aborts,
// so that libFuzzer keeps the input as a crash.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzzcheck {

// Bytes as a C string literal, for the report and for pasting into a test.
inline std::string Quoted(std::string_view bytes) {
    static const char Hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += Hex[c >> 4];
            out += Hex[c & 15];
            out += "\"\""; // ends the escape
        }
    }
    return out + "\"";
}

[[noreturn]] inline void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "PROPERTY FAILED: %s\n%s\n", what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

} // namespace fuzzcheck

#define FUZZ_CHECK(cond, detail)                                                                   \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::fuzzcheck::Fail(#cond, (detail));                                                    \
    } while (0)
