#include "text/KeptBlocks.h"

#include <cstring>

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
            const std::size_t lt = NextOpen(text, i);
            if (lt == std::string_view::npos)
                return text.size();
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
