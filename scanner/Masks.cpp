#include "scanner/Masks.h"

namespace {

inline std::uint8_t UpCase(std::uint8_t c) {
    return (c >= 'a' && c <= 'z') ? static_cast<std::uint8_t>(c - ('a' - 'A')) : c;
}

inline std::uint8_t ByteAt(std::string_view s, std::size_t i) {
    return static_cast<std::uint8_t>(s[i]);
}

} // namespace

EMaskException::EMaskException(const std::string& pattern, int position)
    : std::runtime_error("'" + pattern + "' is an invalid mask at (" + std::to_string(position) +
                         ")"),
      pattern_(pattern), position_(position) {}

TMask::TMask(const std::string& pattern, const TLeadBytes& leadBytes) {
    const std::size_t n = pattern.size();
    std::vector<TMaskElement> out;
    bool pending = false; // a "*" stands directly before the next element
    int starElements = 0;

    // Writes one element; position is where a 31st element after a "*" is reported.
    auto emit = [&](TMaskElement e, std::size_t position) {
        e.AfterStar = pending;
        if (pending && ++starElements > MaxStarElements) {
            throw EMaskException(pattern, static_cast<int>(position));
        }
        pending = false;
        out.push_back(e);
    };

    std::size_t i = 0; // 0-based; the position of byte i is i + 1
    while (i < n) {
        const std::uint8_t c = ByteAt(pattern, i);
        if (c == '*') {
            pending = true;
            ++i;
        } else if (c == '?') {
            // After a "*" the "?" adds nothing: "*?" acts as "*".
            if (!pending) {
                TMaskElement e;
                e.Kind = ekAny;
                emit(e, i + 1);
            }
            ++i;
        } else if (c == '[') {
            TMaskElement e;
            e.Kind = ekSet;
            std::size_t j = i + 1;
            if (j < n && pattern[j] == '!') {
                e.Inverted = true;
                ++j;
            }
            int last = -1; // the last single character taken, upper-cased
            bool open = false;
            while (j < n && pattern[j] != ']') {
                const std::uint8_t b = ByteAt(pattern, j);
                if (leadBytes.test(b)) {
                    // A double-byte character can't be a member.
                    if (j + 1 >= n) {
                        open = true;
                        break;
                    }
                    j += 2;
                } else if (b == '-') {
                    if (last < 0) {
                        throw EMaskException(pattern, static_cast<int>(j + 1));
                    }
                    if (j + 1 >= n) {
                        open = true;
                        break;
                    }
                    const int high = UpCase(ByteAt(pattern, j + 1));
                    for (int v = last; v <= high; ++v) {
                        e.Members.set(static_cast<std::size_t>(v));
                    }
                    j += 2;
                } else {
                    const std::uint8_t u = UpCase(b);
                    e.Members.set(u);
                    last = u;
                    ++j;
                }
            }
            if (open || j >= n) {
                throw EMaskException(pattern, static_cast<int>(n + 1));
            }
            if (e.Members.none()) {
                throw EMaskException(pattern, static_cast<int>(j + 1));
            }
            emit(e, j + 1);
            i = j + 1;
        } else if (leadBytes.test(c) && i + 1 < n) {
            TMaskElement e;
            e.Kind = ekPair;
            e.Lead = c;
            e.Trail = ByteAt(pattern, i + 1);
            emit(e, i + 2);
            i += 2;
        } else {
            // A lead byte that ends the pattern has no trail byte: it stands for itself.
            TMaskElement e;
            e.Kind = ekChar;
            e.Char = UpCase(c);
            emit(e, i + 1);
            ++i;
        }
    }
    TMaskElement end; // the end marker carries a pending "*"
    emit(end, n + 1);
    out.shrink_to_fit();
    elements_ = std::move(out);
}

bool TMask::TestAt(const TMaskElement& e, std::string_view name, std::size_t p) {
    const std::size_t len = name.size();
    switch (e.Kind) {
    case ekChar:
        if (e.Char == 0) {
            return p == len;
        }
        return p < len && UpCase(ByteAt(name, p)) == e.Char;
    case ekAny:
        return p < len;
    case ekSet:
        return p < len && e.Members.test(UpCase(ByteAt(name, p))) != e.Inverted;
    case ekPair:
        return p + 1 < len && ByteAt(name, p) == e.Lead && ByteAt(name, p + 1) == e.Trail;
    }
    return false;
}

// The elements are cut into segments, each starting at an element after a "*"
// (the first may start without one). Every element has a fixed width, so a
// segment fits at a position or not; the leftmost fit of each middle segment is
// always the best choice, since the "*" after it absorbs anything, and the last
// segment, which ends with the end marker, can only sit at the end of the name.
// This finds a match exactly when backtracking over every "*" would, in time
// proportional to the name's length times the mask's.
bool TMask::MatchName(std::string_view name) const {
    const TMaskElement* e = elements_.data();
    const std::size_t m = elements_.size();
    const std::size_t len = name.size();

    auto segmentEnd = [&](std::size_t s) {
        std::size_t k = s + 1;
        while (k < m && !e[k].AfterStar) {
            ++k;
        }
        return k;
    };
    auto fits = [&](std::size_t s, std::size_t k, std::size_t q) {
        for (std::size_t t = s; t < k; ++t) {
            if (!TestAt(e[t], name, q)) {
                return false;
            }
            q += Width(e[t]);
        }
        return true;
    };
    auto width = [&](std::size_t s, std::size_t k) {
        std::size_t w = 0;
        for (std::size_t t = s; t < k; ++t) {
            w += Width(e[t]);
        }
        return w;
    };

    std::size_t i = 0;
    std::size_t p = 0;
    if (!e[0].AfterStar) {
        const std::size_t k = segmentEnd(0);
        if (!fits(0, k, 0)) {
            return false;
        }
        if (k == m) {
            return true;
        }
        p = width(0, k);
        i = k;
    }
    while (i < m) {
        const std::size_t k = segmentEnd(i);
        if (k == m) {
            // The end marker (width 1, consuming nothing real) must sit at len.
            const std::size_t w = width(i, k) - 1;
            return len >= w && len - w >= p && fits(i, k, len - w);
        }
        const std::size_t w = width(i, k);
        std::size_t q = p;
        while (q <= len && !fits(i, k, q)) {
            ++q;
        }
        if (q > len) {
            return false;
        }
        p = q + w;
        i = k;
    }
    return false;
}

TMultiMask& TCollection::Add() {
    items_.push_back(std::make_unique<TMultiMask>());
    return *items_.back();
}

std::vector<std::string> SplitMaskList(const std::string& list) {
    std::vector<std::string> entries;
    std::string current;
    auto finish = [&] {
        while (!current.empty() && current.back() == ' ') {
            current.pop_back();
        }
        if (!current.empty()) {
            entries.push_back(current);
        }
        current.clear();
    };
    for (char c : list) {
        if (c == ';') {
            finish();
        } else if (c != ' ' || !current.empty()) {
            current.push_back(c);
        }
    }
    finish();
    return entries;
}

void ParseMaskList(TCollection& collection, const std::string& list, const TLeadBytes& leadBytes) {
    for (const std::string& entry : SplitMaskList(list)) {
        TMultiMask& item = collection.Add();
        item.FMask = std::make_unique<TMask>(entry, leadBytes);
    }
}

bool MatchAnyMask(const TCollection& collection, std::string_view name) {
    for (int i = 0; i < collection.Count(); ++i) {
        const TMultiMask& item = collection.Items(i);
        if (item.FMask && item.FMask->MatchName(name)) {
            return true;
        }
    }
    return false;
}
