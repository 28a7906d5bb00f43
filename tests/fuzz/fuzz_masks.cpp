// Wildcard masks: any pattern compiles to the elements (or the mask error) the
// byte-by-byte compiler gives, and any name matches exactly when the retry-stack
// search says so; mask lists split and fail like the plain splitting. The lead
// bytes of a double-byte code page come from the input too.
//
// Input: a flags byte, then (see below) lead bytes, the pattern or list, and names.

#include "FuzzCheck.h"
#include "Reference.h"
#include "scanner/Masks.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

namespace {

std::string Describe(const std::string& pattern, const TLeadBytes& leads,
                     const std::string& name = std::string()) {
    std::string out = "pattern " + fuzzcheck::Quoted(pattern) + " name " + fuzzcheck::Quoted(name) +
                      " lead bytes";
    for (std::size_t b = 0; b < 256; ++b)
        if (leads.test(b))
            out += " " + std::to_string(b);
    return out;
}

bool SameElement(const TMaskElement& a, const reference::Element& b) {
    if (a.AfterStar != b.afterStar)
        return false;
    switch (b.kind) {
    case reference::Kind::Char:
        return a.Kind == ekChar && a.Char == b.ch;
    case reference::Kind::Any:
        return a.Kind == ekAny;
    case reference::Kind::Set:
        return a.Kind == ekSet && a.Inverted == b.inverted && a.Members == b.members;
    case reference::Kind::Pair:
        return a.Kind == ekPair && a.Lead == b.lead && a.Trail == b.trail;
    }
    return false;
}

// Compiles pattern both ways; returns the mask when it is valid.
std::unique_ptr<TMask> CheckCompile(const std::string& pattern, const TLeadBytes& leads,
                                    reference::CompiledMask& expected) {
    expected = reference::Compile(pattern, leads);
    std::unique_ptr<TMask> mask;
    try {
        mask = std::make_unique<TMask>(pattern, leads);
    } catch (const EMaskException& e) {
        FUZZ_CHECK(!expected.valid, "unexpected mask error " + std::string(e.what()) + " for " +
                                        Describe(pattern, leads));
        // The message as shown: up to a NUL byte the pattern may hold.
        FUZZ_CHECK(std::string(e.what()) == std::string(expected.error.c_str()),
                   "message " + std::string(e.what()) + " expected " + expected.error);
        FUZZ_CHECK(e.Position() == expected.errorPosition && e.Pattern() == pattern,
                   Describe(pattern, leads));
        return nullptr;
    }
    FUZZ_CHECK(expected.valid, "no mask error, expected " + expected.error);
    FUZZ_CHECK(mask->Count() == static_cast<int>(expected.elements.size()),
               "element count for " + Describe(pattern, leads));
    int afterStar = 0;
    for (int i = 0; i < mask->Count(); ++i) {
        FUZZ_CHECK(SameElement(mask->Element(i), expected.elements[static_cast<std::size_t>(i)]),
                   "element " + std::to_string(i) + " of " + Describe(pattern, leads));
        afterStar += mask->Element(i).AfterStar ? 1 : 0;
    }
    FUZZ_CHECK(mask->Element(mask->Count() - 1).IsEndMarker(), Describe(pattern, leads));
    FUZZ_CHECK(afterStar <= MaxStarElements, Describe(pattern, leads));
    return mask;
}

void CheckMatch(const TMask& mask, const reference::CompiledMask& expected,
                const std::string& pattern, const TLeadBytes& leads, const std::string& name) {
    const bool actual = mask.MatchName(std::string_view(name));
    reference::RetryStackSearch search{expected.elements, name};
    const bool wanted = search.Match();
    FUZZ_CHECK(!search.stackOverflow, "retry stack overflow: " + Describe(pattern, leads, name));
    if (search.budgetExceeded)
        return; // too long for the plain search; the real matcher still must not crash
    FUZZ_CHECK(actual == wanted, std::string(actual ? "matched" : "did not match") + ": " +
                                     Describe(pattern, leads, name));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto flags = in.ConsumeIntegral<std::uint8_t>();

    // Lead bytes: none, a few chosen by the input, and/or those of Shift-JIS.
    TLeadBytes leads;
    if (flags & 1) {
        const int n = in.ConsumeIntegralInRange(0, 4);
        for (int i = 0; i < n; ++i)
            leads.set(in.ConsumeIntegral<std::uint8_t>());
    }
    if (flags & 2) {
        for (unsigned b = 0x81; b <= 0x9F; ++b)
            leads.set(b);
        for (unsigned b = 0xE0; b <= 0xFC; ++b)
            leads.set(b);
    }

    const std::string pattern = in.ConsumeRandomLengthString(96);

    if (flags & 4) {
        // The pattern is a mask list.
        TCollection collection;
        const std::vector<std::string> entries = reference::SplitList(pattern);
        FUZZ_CHECK(SplitMaskList(pattern) == entries, "split of " + fuzzcheck::Quoted(pattern));
        std::string error;
        try {
            ParseMaskList(collection, pattern, leads);
        } catch (const EMaskException& e) {
            error = e.what();
            FUZZ_CHECK(!error.empty(), "empty mask error for " + fuzzcheck::Quoted(pattern));
        }
        std::vector<reference::CompiledMask> compiled;
        std::string expectedError;
        for (const std::string& entry : entries) {
            compiled.push_back(reference::Compile(entry, leads));
            if (!compiled.back().valid) {
                expectedError = compiled.back().error.c_str();
                break;
            }
        }
        FUZZ_CHECK(error == expectedError, "list " + fuzzcheck::Quoted(pattern) + ": error '" +
                                               error + "' expected '" + expectedError + "'");
        FUZZ_CHECK(collection.Count() == static_cast<int>(compiled.size()),
                   "items of list " + fuzzcheck::Quoted(pattern));
        for (int i = 0; i < collection.Count(); ++i)
            FUZZ_CHECK((collection.Items(i).FMask != nullptr) ==
                           compiled[static_cast<std::size_t>(i)].valid,
                       "item " + std::to_string(i) + " of list " + fuzzcheck::Quoted(pattern));
        if (!error.empty())
            return 0;
        while (in.remaining_bytes() > 0) {
            const std::string name = in.ConsumeRandomLengthString(64);
            bool wanted = false;
            bool known = true;
            for (const auto& mask : compiled) {
                reference::RetryStackSearch search{mask.elements, name};
                const bool m = search.Match();
                if (search.budgetExceeded) {
                    known = false;
                    break;
                }
                if (m) {
                    wanted = true;
                    break;
                }
            }
            const bool actual = MatchAnyMask(collection, std::string_view(name));
            if (known)
                FUZZ_CHECK(actual == wanted, "list " + fuzzcheck::Quoted(pattern) + " name " +
                                                 fuzzcheck::Quoted(name));
        }
        return 0;
    }

    reference::CompiledMask expected;
    const std::unique_ptr<TMask> mask = CheckCompile(pattern, leads, expected);
    if (!mask)
        return 0;

    // The pattern with its wildcards taken out: a name that often matches.
    std::string literal;
    for (char c : pattern)
        if (c != '*' && c != '?' && c != '[' && c != ']')
            literal += c;
    CheckMatch(*mask, expected, pattern, leads, literal);
    CheckMatch(*mask, expected, pattern, leads, std::string());
    while (in.remaining_bytes() > 0)
        CheckMatch(*mask, expected, pattern, leads, in.ConsumeRandomLengthString(64));
    return 0;
}
