// Replace-all: ReplaceText agrees with the replace-all steps (U, Q and Rest, a
// match at a time). Case-sensitive on any bytes; case-insensitive on ASCII texts
// with plain a-z folding, and on any bytes with the program's position-keeping
// upper-casing. Replacing a text by itself, or with an empty pattern, changes nothing.
//
// Input: a flags byte, the pattern, the replacement, then the text.

#include "FuzzCheck.h"
#include "Reference.h"
#include "text/ReplaceText.h"
#include "text/UpperCase.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

namespace {

std::string ToAscii(std::string s) {
    for (char& c : s)
        c = static_cast<char>(static_cast<unsigned char>(c) & 0x7F);
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto flags = in.ConsumeIntegral<std::uint8_t>();
    const bool caseSensitive = flags & 1;
    const bool ascii = flags & 2;
    std::string pattern = in.ConsumeRandomLengthString(24);
    std::string replacement = in.ConsumeRandomLengthString(24);
    std::string text = in.ConsumeRemainingBytesAsString();
    if (ascii) {
        pattern = ToAscii(pattern);
        replacement = ToAscii(replacement);
        text = ToAscii(text);
    }
    if (flags & 4)
        replacement = pattern;
    if ((flags & 0x38) == 0x38 && !text.empty()) {
        // Long enough to need several of the case-insensitive search's windows
        // (64 KiB each), with matches and characters across their edges.
        const std::string unit = text;
        while (text.size() < 70000)
            text += unit;
    }

    const std::string what = "text " + fuzzcheck::Quoted(text.substr(0, 2000)) + " pattern " +
                             fuzzcheck::Quoted(pattern) + " replacement " +
                             fuzzcheck::Quoted(replacement) +
                             (caseSensitive ? " case-sensitive" : " case-insensitive");

    const std::string actual = ReplaceText(text, pattern, replacement, caseSensitive);
    std::string expected;
    if (caseSensitive || ascii)
        expected =
            reference::ReplaceAll(text, pattern, replacement, caseSensitive,
                                  [](const std::string& s) { return reference::AsciiUpper(s); });
    else
        expected = reference::ReplaceAll(text, pattern, replacement, caseSensitive,
                                         [](const std::string& s) { return UpperCase(s); });
    FUZZ_CHECK(actual == expected, what + " gave " + fuzzcheck::Quoted(actual) + " expected " +
                                       fuzzcheck::Quoted(expected));

    // Properties that need no reference.
    FUZZ_CHECK(ReplaceText(text, pattern, pattern, true) == text, what + ": by itself");
    FUZZ_CHECK(ReplaceText(text, std::string(), replacement, caseSensitive) == text,
               what + ": empty pattern");
    FUZZ_CHECK(ReplaceText(std::string(), pattern, replacement, caseSensitive).empty(),
               what + ": empty text");
    if (replacement.size() == pattern.size())
        FUZZ_CHECK(actual.size() == text.size(), what + ": length");
    return 0;
}
