#include "text/KeptBlocks.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::string_view Names[] = {"pre", "textarea", "script",   "style",
                                      "xmp", "listing",  "plaintext"};
constexpr unsigned AllNames = (1u << std::size(Names)) - 1;

inline char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

inline bool IsTagSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// The position of the next "<" in text from i, or npos.
inline std::size_t NextOpen(std::string_view text, std::size_t i) {
    const void* lt = std::memchr(text.data() + i, '<', text.size() - i);
    return lt == nullptr ? std::string_view::npos
                         : static_cast<std::size_t>(static_cast<const char*>(lt) - text.data());
}

// The pairs of bytes that begin a name, in any case, as bits of a table indexed
// by the two bytes (8 KiB, small enough to stay in the cache).
struct NamePairs {
    std::uint64_t bits[1024] = {};
    constexpr NamePairs() {
        for (const std::string_view name : Names) {
            for (const int up : {0, 1, 2, 3}) {
                const auto a = static_cast<unsigned char>(name[0] - ((up & 1) ? 'a' - 'A' : 0));
                const auto b = static_cast<unsigned char>(name[1] - ((up & 2) ? 'a' - 'A' : 0));
                const unsigned index = a | unsigned{b} << 8;
                bits[index >> 6] |= std::uint64_t{1} << (index & 63);
            }
        }
    }
    bool Has(char a, char b) const {
        const unsigned index =
            static_cast<unsigned char>(a) | unsigned{static_cast<unsigned char>(b)} << 8;
        return (bits[index >> 6] >> (index & 63) & 1u) != 0;
    }
};
constexpr NamePairs ByFirstPair;

// The position of the next "<" from i that may open a start tag: the two bytes
// after it begin a name, in any case, or are still to come; npos when none.
inline std::size_t NextCandidate(std::string_view text, std::size_t i) {
    const char* const data = text.data();
#if defined(__SSE2__)
    // Sixteen bytes at a time. In a web page many hold a "<", and most of those
    // open other tags ("</", "<a", "<div"), which the table tells at once.
    const __m128i open = _mm_set1_epi8('<');
    while (i + 18 <= text.size()) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, open)));
        while (mask != 0) {
            const std::size_t lt = i + static_cast<std::size_t>(__builtin_ctz(mask));
            if (ByFirstPair.Has(data[lt + 1], data[lt + 2]))
                return lt;
            mask &= mask - 1;
        }
        i += 16;
    }
#endif
    for (; i < text.size(); ++i) {
        if (data[i] == '<' && (i + 2 >= text.size() || ByFirstPair.Has(data[i + 1], data[i + 2])))
            return i;
    }
    return std::string_view::npos;
}

// The names a start tag may have by the byte after its "<" (in any case).
constexpr unsigned FirstLetterFits(char c) {
    unsigned fits = 0;
    for (unsigned k = 0; k < std::size(Names); ++k)
        fits |= (Names[k][0] == c || Names[k][0] == c + ('a' - 'A')) ? 1u << k : 0u;
    return fits;
}

struct FirstLetters {
    unsigned fits[256] = {};
    constexpr FirstLetters() {
        for (int c = 0; c < 256; ++c)
            fits[c] = FirstLetterFits(static_cast<char>(c));
    }
};
constexpr FirstLetters ByFirstLetter;

// The name of the start tag whose "<" is at text[lt], whole in text: its index,
// or -1 when there is none.
int WholeStartTag(std::string_view text, std::size_t lt, unsigned fits) {
    for (unsigned k = 0; k < std::size(Names); ++k) {
        if (!(fits >> k & 1u))
            continue;
        const std::string_view name = Names[k];
        const char* p = text.data() + lt + 1;
        std::size_t m = 1; // the first letter fits
        while (m < name.size() && Lower(p[m]) == name[m])
            ++m;
        const char c = p[m];
        if (m == name.size() && (IsTagSpace(c) || c == '/' || c == '>'))
            return static_cast<int>(k);
    }
    return -1;
}

// The longest start tag: "<", the longest name, the byte after it.
constexpr std::size_t LongestTag = 11;

} // namespace

// One byte after "<" and matched_ bytes of a name: true when it starts a block.
bool BlockFinder::StepStart(char c) {
    const auto at = static_cast<std::size_t>(matched_);
    const bool ends = IsTagSpace(c) || c == '/' || c == '>';
    unsigned still = 0;
    for (unsigned k = 0; k < std::size(Names); ++k) {
        if (!(fits_ >> k & 1u))
            continue;
        if (Names[k].size() == at && ends) {
            name_ = static_cast<int>(k);
            matched_ = -1;
            endMatched_ = -1;
            return true;
        }
        if (Names[k].size() > at && Names[k][at] == Lower(c))
            still |= 1u << k;
    }
    fits_ = still;
    ++matched_;
    if (still == 0) // no tag; this byte may open the next one
        matched_ = c == '<' ? 0 : -1;
    if (matched_ == 0)
        fits_ = AllNames;
    return false;
}

std::size_t BlockFinder::FindStart(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (matched_ < 0) {
            const std::size_t lt = NextCandidate(text, i);
            if (lt == std::string_view::npos)
                return text.size();
            if (lt + 1 == text.size()) {
                matched_ = 0;
                fits_ = AllNames;
                return text.size();
            }
            // Most "<" open other tags: the byte after one tells.
            const unsigned fits = ByFirstLetter.fits[static_cast<unsigned char>(text[lt + 1])];
            if (fits == 0) {
                i = lt + 1;
                continue;
            }
            if (text.size() - lt >= LongestTag) {
                const int name = WholeStartTag(text, lt, fits);
                if (name < 0) {
                    i = lt + 1;
                    continue;
                }
                // The block starts at the byte after the name.
                name_ = name;
                endMatched_ = -1;
                return lt + 1 + Names[name].size();
            }
            // A tag that may be cut by the end of text goes byte by byte.
            matched_ = 0;
            fits_ = AllNames;
            i = lt + 1;
            continue;
        }
        if (StepStart(text[i]))
            return i;
        ++i;
    }
    return text.size();
}

// One byte of a possible end tag: true when it is the ">" that ends the block.
bool BlockFinder::StepEnd(char c) {
    const std::string_view name = Names[name_];
    bool fits = false;
    if (endMatched_ == 0) {
        fits = c == '/';
    } else if (static_cast<std::size_t>(endMatched_ - 1) < name.size()) {
        fits = Lower(c) == name[static_cast<std::size_t>(endMatched_ - 1)];
    } else if (c == '>') {
        name_ = -1;
        endMatched_ = -1;
        return true;
    } else if (IsTagSpace(c)) {
        return false; // white space between the name and ">"
    }
    if (fits)
        ++endMatched_;
    else // no end tag; this byte may open the next one
        endMatched_ = c == '<' ? 0 : -1;
    return false;
}

std::size_t BlockFinder::FindEnd(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (endMatched_ < 0) {
            const std::size_t lt = NextOpen(text, i);
            if (lt == std::string_view::npos)
                return text.size();
            endMatched_ = 0;
            i = lt + 1;
            continue;
        }
        if (StepEnd(text[i]))
            return i + 1;
        ++i;
    }
    return text.size();
}
