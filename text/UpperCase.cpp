#include "text/UpperCase.h"

#include <algorithm>
#include <array>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using velocitrix_upper_case::CasePair;

// Capitals of the two-byte range, indexed by code point - 0x80 (0: none).
// Three-byte code points: one bit per block of 64 tells whether the block holds a
// letter at all, so text without case (CJK, symbols) skips the table search.
struct Tables {
    std::array<char16_t, 0x800 - 0x80> two{};
    std::array<std::uint64_t, 0x10000 / 64 / 64> threeBlocks{};

    Tables() {
        using namespace velocitrix_upper_case;
        for (std::size_t i = 0; i < TwoByteLettersSize; ++i)
            two[TwoByteLetters[i].lower - 0x80] = TwoByteLetters[i].upper;
        for (std::size_t i = 0; i < ThreeByteLettersSize; ++i) {
            const unsigned block = ThreeByteLetters[i].lower / 64;
            threeBlocks[block / 64] |= std::uint64_t{1} << (block % 64);
        }
    }
};

const Tables& GetTables() {
    static const Tables tables;
    return tables;
}

char16_t ThreeByteCapital(char16_t cp, const Tables& t) {
    const unsigned block = cp / 64u;
    if ((t.threeBlocks[block / 64] >> (block % 64) & 1u) == 0)
        return 0;
    using namespace velocitrix_upper_case;
    const CasePair* first = ThreeByteLetters;
    const CasePair* last = ThreeByteLetters + ThreeByteLettersSize;
    const CasePair* it = std::lower_bound(
        first, last, cp, [](const CasePair& p, char16_t v) { return p.lower < v; });
    return it != last && it->lower == cp ? it->upper : 0;
}

inline bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

inline std::size_t SequenceLength(const unsigned char* s, std::size_t avail) {
    if (avail < 2)
        return 0;
    const unsigned char c = s[0];
    if (c >= 0xC2 && c <= 0xDF)
        return IsContinuation(s[1]) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (avail < 3)
            return 0;
        const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80;
        const unsigned char hi = c == 0xED ? 0x9F : 0xBF;
        return s[1] >= lo && s[1] <= hi && IsContinuation(s[2]) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (avail < 4)
            return 0;
        const unsigned char lo = c == 0xF0 ? 0x90 : 0x80;
        const unsigned char hi = c == 0xF4 ? 0x8F : 0xBF;
        return s[1] >= lo && s[1] <= hi && IsContinuation(s[2]) && IsContinuation(s[3]) ? 4 : 0;
    }
    return 0;
}

// The character of len bytes (0: an invalid byte) at s[at], already copied to d,
// gets its capital written over it when it has one. Returns the position after it.
inline std::size_t FoldHigh(const unsigned char* s, std::size_t at, std::size_t len,
                            unsigned char* d, const Tables& t) {
    if (len == 2) {
        const auto cp = static_cast<char16_t>(((s[at] & 0x1Fu) << 6) | (s[at + 1] & 0x3Fu));
        const char16_t up = t.two[cp - 0x80];
        if (up != 0) {
            d[at] = static_cast<unsigned char>(0xC0 | (up >> 6));
            d[at + 1] = static_cast<unsigned char>(0x80 | (up & 0x3F));
        }
    } else if (len == 3) {
        const auto cp = static_cast<char16_t>(((s[at] & 0x0Fu) << 12) | ((s[at + 1] & 0x3Fu) << 6) |
                                              (s[at + 2] & 0x3Fu));
        const char16_t up = ThreeByteCapital(cp, t);
        if (up != 0) {
            d[at] = static_cast<unsigned char>(0xE0 | (up >> 12));
            d[at + 1] = static_cast<unsigned char>(0x80 | ((up >> 6) & 0x3F));
            d[at + 2] = static_cast<unsigned char>(0x80 | (up & 0x3F));
        }
    }
    return at + (len == 0 ? 1 : len); // invalid UTF-8 stays as it is
}

// Folds [i, n) a byte or a character at a time.
void FoldScalar(const unsigned char* s, std::size_t i, std::size_t n, unsigned char* d,
                const Tables& t) {
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            d[i] = (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
            ++i;
            continue;
        }
        const std::size_t len = SequenceLength(s + i, n - i);
        std::copy(s + i, s + i + std::max<std::size_t>(len, 1), d + i);
        i = FoldHigh(s, i, len, d, t);
    }
}

} // namespace

std::size_t Utf8SequenceLength(const char* p, const char* end) {
    return SequenceLength(reinterpret_cast<const unsigned char*>(p),
                          static_cast<std::size_t>(end - p));
}

bool InsideUtf8Character(std::string_view text, std::size_t i) {
    if (i >= text.size() || !IsContinuation(static_cast<unsigned char>(text[i])))
        return false;
    const char* end = text.data() + text.size();
    for (std::size_t back = 1; back <= 3 && back <= i; ++back) {
        const char* start = text.data() + i - back;
        if (!IsContinuation(static_cast<unsigned char>(*start)))
            return Utf8SequenceLength(start, end) > back;
    }
    return false;
}

void UpperCaseInto(const char* src, std::size_t n, char* dst) {
    const Tables& t = GetTables();
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    auto* d = reinterpret_cast<unsigned char*>(dst);
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i before_a = _mm_set1_epi8('a' - 1);
    const __m128i after_z = _mm_set1_epi8('z' + 1);
    const __m128i flip = _mm_set1_epi8(0x20);
    while (i + 16 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i lower =
            _mm_and_si128(_mm_cmpgt_epi8(v, before_a), _mm_cmplt_epi8(v, after_z));
        // Bytes 0x80 and above compare as negative: they are stored unchanged here.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                         _mm_sub_epi8(v, _mm_and_si128(lower, flip)));
        auto high = static_cast<unsigned>(_mm_movemask_epi8(v));
        std::size_t next = i + 16;
        while (high != 0) {
            // Each multi-byte character in the block, folded over what was stored.
            const std::size_t pos = i + static_cast<std::size_t>(__builtin_ctz(high));
            const std::size_t len = SequenceLength(s + pos, n - pos);
            if (pos + len > i + 16) // the part past the block is not stored yet
                std::copy(s + i + 16, s + pos + len, d + i + 16);
            const std::size_t at = FoldHigh(s, pos, len, d, t);
            next = std::max(next, at);
            const std::size_t done = at - i;
            high = done >= 16 ? 0 : high & (~0u << done);
        }
        i = next;
    }
#endif
    FoldScalar(s, i, n, d, t);
}

void AsciiUpperCaseInto(const char* src, std::size_t n, char* dst) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i before_a = _mm_set1_epi8('a' - 1);
    const __m128i after_z = _mm_set1_epi8('z' + 1);
    const __m128i flip = _mm_set1_epi8(0x20);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i lower =
            _mm_and_si128(_mm_cmpgt_epi8(v, before_a), _mm_cmplt_epi8(v, after_z));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_sub_epi8(v, _mm_and_si128(lower, flip)));
    }
#endif
    for (; i < n; ++i) {
        const char c = src[i];
        dst[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    }
}

std::string UpperCase(std::string_view text) {
    std::string out(text.size(), '\0');
    UpperCaseInto(text.data(), text.size(), out.data());
    return out;
}
