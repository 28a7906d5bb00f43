#pragma once
// Wildcard masks ("*.htm", "[a-c]*", "?x") and ";"-separated lists of them.
// Letter case is ignored for the ASCII letters only; names and patterns are bytes.

#include "platform/CodePage.h"

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The most elements of one mask that may follow a "*" (the end marker included).
constexpr int MaxStarElements = 30;

enum TElementKind : std::uint8_t { ekChar = 0, ekAny = 1, ekSet = 2, ekPair = 3 };

// One compiled element of a mask.
struct TMaskElement {
    bool AfterStar = false; // one or more "*" stood directly before it
    TElementKind Kind = ekChar;
    std::uint8_t Char = 0; // ekChar: the upper-cased byte; 0 is the end marker
    bool Inverted = false; // ekSet: "[!...]"
    std::uint8_t Lead = 0; // ekPair: the two bytes of a double-byte character
    std::uint8_t Trail = 0;
    std::bitset<256> Members; // ekSet: bit n stands for the byte n

    bool IsEndMarker() const { return Kind == ekChar && Char == 0; }
};

// The error of an invalid pattern: "'<pattern>' is an invalid mask at (<position>)".
class EMaskException : public std::runtime_error {
public:
    EMaskException(const std::string& pattern, int position);
    const std::string& Pattern() const { return pattern_; }
    int Position() const { return position_; }

private:
    std::string pattern_;
    int position_;
};

class TMask {
public:
    // Compiles pattern; throws EMaskException when it is invalid. leadBytes are
    // the bytes that start a double-byte character in the pattern's code page.
    explicit TMask(const std::string& pattern, const TLeadBytes& leadBytes = PlatformLeadBytes());

    // True when the whole name fits the mask. Allocates nothing, keeps no state,
    // and takes time proportional to the name's length times the mask's.
    bool MatchName(std::string_view name) const;
    bool MatchName(const std::string& name) const { return MatchName(std::string_view(name)); }
    bool MatchName(const char* name) const { return MatchName(std::string_view(name)); }

    int Count() const { return static_cast<int>(elements_.size()); }
    const TMaskElement& Element(int i) const { return elements_[static_cast<std::size_t>(i)]; }

    // Whether element e passes at byte position p of name (never reads past its end),
    // and the bytes it consumes when it does.
    static bool TestAt(const TMaskElement& e, std::string_view name, std::size_t p);
    static std::size_t Width(const TMaskElement& e) { return e.Kind == ekPair ? 2 : 1; }

private:
    std::vector<TMaskElement> elements_;
};

// An item of a mask list: owns the mask of one entry; empty while the mask has
// not been built, and when building it failed.
class TMultiMask {
public:
    std::unique_ptr<TMask> FMask;
};

// The owning, indexed collection of a compiled mask list, in list order.
class TCollection {
public:
    TMultiMask& Add();
    int Count() const { return static_cast<int>(items_.size()); }
    TMultiMask& Items(int i) { return *items_[static_cast<std::size_t>(i)]; }
    const TMultiMask& Items(int i) const { return *items_[static_cast<std::size_t>(i)]; }
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<TMultiMask>> items_;
};

// The entries of a mask list: split at ";", leading and trailing spaces removed,
// empty entries dropped.
std::vector<std::string> SplitMaskList(const std::string& list);

// Appends one item per non-empty entry of list, each added before its mask is
// built. The first invalid entry's EMaskException passes out; the items before
// it stay, and so does its own item, with an empty mask.
void ParseMaskList(TCollection& collection, const std::string& list,
                   const TLeadBytes& leadBytes = PlatformLeadBytes());

// True when any mask of the collection matches name, tried in collection order.
bool MatchAnyMask(const TCollection& collection, std::string_view name);
inline bool MatchAnyMask(const TCollection& collection, const std::string& name) {
    return MatchAnyMask(collection, std::string_view(name));
}
inline bool MatchAnyMask(const TCollection& collection, const char* name) {
    return MatchAnyMask(collection, std::string_view(name));
}
