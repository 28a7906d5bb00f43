#pragma once
// Plain transcriptions of the program's rules, written step by step with no
// attempt at speed: the fuzz harnesses compare the real code with these.
//
// Each function follows the rule as the program's documentation states it, with
// positions counted from 1 where the rule counts them so. They are slow on
// purpose (repeated searches, copies); the harnesses keep their inputs small.

#include "platform/CodePage.h"
#include "text/PreformattedRules.h"
#include "text/UpperCase.h"

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace reference {

inline std::uint8_t AsciiUp(std::uint8_t c) {
    return (c >= 'a' && c <= 'z') ? static_cast<std::uint8_t>(c - 32) : c;
}

inline std::string AsciiUpper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(AsciiUp(static_cast<std::uint8_t>(c)));
    return s;
}

// ---------------------------------------------------------------------------
// Masks

enum class Kind { Char, Any, Set, Pair };

struct Element {
    bool afterStar = false;
    Kind kind = Kind::Char;
    std::uint8_t ch = 0; // Char: upper-cased byte, 0 = end marker
    bool inverted = false;
    std::bitset<256> members;
    std::uint8_t lead = 0;
    std::uint8_t trail = 0;
};

struct CompiledMask {
    bool valid = true;
    std::string error; // the mask error's message when !valid
    int errorPosition = 0;
    std::vector<Element> elements;
};

// Compiling a pattern, byte by byte, positions from 1.
inline CompiledMask Compile(const std::string& pattern, const TLeadBytes& leadBytes) {
    CompiledMask out;
    const int n = static_cast<int>(pattern.size());
    auto P = [&](int pos) {
        return static_cast<std::uint8_t>(pattern[static_cast<size_t>(pos - 1)]);
    };
    bool pending = false;
    int counted = 0;
    auto fail = [&](int pos) {
        out.valid = false;
        out.errorPosition = pos;
        out.error = "'" + pattern + "' is an invalid mask at (" + std::to_string(pos) + ")";
        out.elements.clear();
    };
    // Writes e with the pending flag; false when it is the 31st after a "*".
    auto write = [&](Element e, int errorPos) {
        e.afterStar = pending;
        if (pending) {
            ++counted;
            if (counted > 30) {
                fail(errorPos);
                return false;
            }
        }
        pending = false;
        out.elements.push_back(e);
        return true;
    };
    int pos = 1;
    while (pos <= n) {
        const std::uint8_t c = P(pos);
        if (c == '*') {
            pending = true;
            ++pos;
        } else if (c == '?') {
            if (!pending) {
                Element e;
                e.kind = Kind::Any;
                if (!write(e, pos))
                    return out;
            }
            ++pos;
        } else if (c == '[') {
            Element e;
            e.kind = Kind::Set;
            ++pos;
            if (pos <= n && P(pos) == '!') {
                e.inverted = true;
                ++pos;
            }
            int last = -1; // none
            while (pos <= n && P(pos) != ']') {
                const std::uint8_t b = P(pos);
                if (leadBytes.test(b)) {
                    if (pos == n) {
                        pos = n + 1; // the set stays open
                        break;
                    }
                    pos += 2;
                } else if (b == '-') {
                    if (last < 0) {
                        fail(pos);
                        return out;
                    }
                    if (pos == n) {
                        pos = n + 1;
                        break;
                    }
                    const int high = AsciiUp(P(pos + 1));
                    for (int v = last; v <= high; ++v)
                        e.members.set(static_cast<std::size_t>(v));
                    pos += 2;
                } else {
                    const std::uint8_t u = AsciiUp(b);
                    e.members.set(u);
                    last = u;
                    ++pos;
                }
            }
            if (pos > n) {
                fail(n + 1);
                return out;
            }
            if (e.members.none()) {
                fail(pos);
                return out;
            }
            if (!write(e, pos))
                return out;
            ++pos; // the "]"
        } else if (leadBytes.test(c) && pos < n) {
            Element e;
            e.kind = Kind::Pair;
            e.lead = c;
            e.trail = P(pos + 1);
            if (!write(e, pos + 1))
                return out;
            pos += 2;
        } else {
            // Also a lead byte that ends the pattern: it has no trail byte and
            // stands for itself.
            Element e;
            e.kind = Kind::Char;
            e.ch = AsciiUp(c);
            if (!write(e, pos))
                return out;
            ++pos;
        }
    }
    Element end;
    write(end, n + 1);
    return out;
}

// The retry-stack search. Gives up (budgetExceeded) after `budget` element
// tests, since the search is exponential in the worst case.
struct RetryStackSearch {
    const std::vector<Element>& mask;
    std::string_view name;
    long budget = 1L << 16;
    bool budgetExceeded = false;
    bool stackOverflow = false;

    std::uint8_t ByteAt(std::size_t p) const {
        return p < name.size() ? static_cast<std::uint8_t>(name[p]) : 0;
    }

    bool Test(const Element& e, std::size_t p) const {
        switch (e.kind) {
        case Kind::Char:
            if (e.ch == 0)
                return p == name.size();
            return p < name.size() && AsciiUp(ByteAt(p)) == e.ch;
        case Kind::Any:
            return p < name.size();
        case Kind::Set:
            return p < name.size() && e.members.test(AsciiUp(ByteAt(p))) != e.inverted;
        case Kind::Pair:
            return p + 1 < name.size() && ByteAt(p) == e.lead && ByteAt(p + 1) == e.trail;
        }
        return false;
    }

    std::size_t Advance(const Element& e, std::size_t p) const {
        // The end marker moves to the end; never back, as after a NUL byte of the
        // pattern (an end marker inside it) p stands past the end.
        if (e.kind == Kind::Char && e.ch == 0)
            return p < name.size() ? name.size() : p;
        while (p < name.size() && !Test(e, p))
            ++p;
        return p;
    }

    bool Match() {
        struct Entry {
            std::size_t p;
            std::size_t i;
        };
        Entry stack[30];
        int top = 0;
        std::size_t p = 0;
        std::size_t i = 0;
        for (;;) {
            bool passed = true;
            for (; i < mask.size(); ++i) {
                if (--budget < 0) {
                    budgetExceeded = true;
                    return false;
                }
                const Element& e = mask[i];
                if (e.afterStar) {
                    p = Advance(e, p);
                    if (p < name.size()) {
                        if (top == 30) {
                            stackOverflow = true;
                            return false;
                        }
                        stack[top++] = {p + 1, i};
                    }
                }
                if (!Test(e, p)) {
                    passed = false;
                    break;
                }
                p += e.kind == Kind::Pair ? 2 : 1;
            }
            if (passed)
                return true;
            if (top == 0)
                return false;
            --top;
            p = stack[top].p;
            i = stack[top].i;
        }
    }
};

// Splitting a mask list, byte by byte.
inline std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> entries;
    std::string current;
    auto end = [&] {
        while (!current.empty() && current.back() == ' ')
            current.pop_back();
        if (!current.empty())
            entries.push_back(current);
        current.clear();
    };
    for (char c : list) {
        if (c == ' ' && current.empty())
            continue;
        if (c == ';')
            end();
        else
            current += c;
    }
    end();
    return entries;
}

// ---------------------------------------------------------------------------
// Optimizer

// One line, pass by pass: collapse, drop, trim. False when dropped. S is a string
// of bytes, or of wider units where a kept block is one unit that is no blank.
template <typename S> bool OptimizeLineOf(S s, S& out) {
    using C = typename S::value_type;
    const C sp = C(' ');
    const C tab = C('\t');
    const S patterns[4] = {S{sp, sp}, S{sp, tab}, S{tab, sp}, S{tab, tab}};
    auto anyLeft = [&] {
        for (const S& p : patterns)
            if (s.find(p) != S::npos)
                return true;
        return false;
    };
    while (anyLeft()) {
        for (const S& p : patterns) {
            const std::size_t k = s.find(p);
            if (k != S::npos)
                s.erase(k, 1);
        }
    }
    if (s.empty() || s == S{sp} || s == S{tab})
        return false;
    if (s.size() >= 2) {
        if (s[0] == sp || s[0] == tab)
            s.erase(0, 1);
        if (s.back() == sp)
            s.pop_back();
        else if (s.back() == tab)
            s.pop_back();
    }
    out = s;
    return true;
}

inline bool OptimizeLine(std::string s, std::string& out) {
    return OptimizeLineOf(std::move(s), out);
}

// The work list whose write index moves back over a dropped line.
inline std::vector<std::string> OptimizeLines(const std::vector<std::string>& lines) {
    std::vector<std::string> work(lines.size());
    long index = -1;
    for (const std::string& line : lines) {
        ++index;
        work[static_cast<std::size_t>(index)] = line;
        std::string changed;
        if (OptimizeLine(line, changed))
            work[static_cast<std::size_t>(index)] = changed;
        else
            --index;
    }
    work.resize(static_cast<std::size_t>(index + 1));
    return work;
}

// ---------------------------------------------------------------------------
// Lines

// The pieces of s: each ends at a CR, an LF or the end; after a piece one CR is
// skipped if there, then one LF if there. A break at the very end adds no piece.
inline std::vector<std::string> Pieces(std::string_view s) {
    std::vector<std::string> pieces;
    std::size_t i = 0;
    while (i < s.size()) {
        std::string piece;
        while (i < s.size() && s[i] != '\r' && s[i] != '\n')
            piece += s[i++];
        pieces.push_back(piece);
        if (i < s.size() && s[i] == '\r')
            ++i;
        if (i < s.size() && s[i] == '\n')
            ++i;
    }
    return pieces;
}

// Every CR LF, lone CR and lone LF made CR LF; all other bytes as they are.
inline std::string UnifyBreaks(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            out += "\r\n";
            if (i + 1 < s.size() && s[i + 1] == '\n')
                ++i;
        } else if (s[i] == '\n') {
            out += "\r\n";
        } else {
            out += s[i];
        }
    }
    return out;
}

inline std::string JoinWithBreaks(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines)
        out += line + "\r\n";
    return out;
}

// ---------------------------------------------------------------------------
// Kept blocks

// For each byte of s, whether it lies in a kept stretch (KeptBlocks.h), read
// from the start, one tag at a time:
// - "<" and a letter open a start tag; its name runs to white space, "/" or ">".
// - One of the block names: the block runs from the "<" to the ">" of the first
//   end tag of the same name ("</", the name, white space, ">"), or to the end
//   of s. A <style> block's rules, from its start tag's ">" on, count after it.
// - Any other name: its attributes are read to the tag's ">". A quoted value is
//   kept from quote to quote; a server script's section ("<?" to "?>", "<%" to
//   "%>") in a name or value is passed over, never kept. The element's content
//   is kept, to the ">" of the end tag that closes it (tags of its own name
//   nest), when its style attribute or a rule met so far makes it preformatted
//   and it is no element without content. linked: the sheets a <link> may name.
// The rules of the CSS are the program's own (PreformattedRules.h).
// tags: when given, marks the bytes of the start tags read for their attributes.
inline std::vector<bool>
KeptBytes(std::string_view s, const std::vector<std::pair<std::string, std::string>>& linked = {},
          std::vector<bool>* tags = nullptr) {
    static const char* const Names[] = {"pre", "textarea", "script",   "style",
                                        "xmp", "listing",  "plaintext"};
    static const char* const Empty[] = {"area",  "base",   "br",    "col",    "embed", "frame",
                                        "hr",    "img",    "input", "keygen", "link",  "meta",
                                        "param", "source", "track", "wbr"};
    auto lower = [](char c) {
        return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    };
    auto space = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
    };
    auto letter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    };
    auto nameAt = [&](std::size_t i, std::string_view name) {
        if (i + name.size() > s.size())
            return false;
        for (std::size_t k = 0; k < name.size(); ++k)
            if (lower(s[i + k]) != name[k])
                return false;
        return true;
    };
    // The end of the end tag of name from i on ("</", name, white space, ">"),
    // counting start tags of the same name when nest; s.size() when none.
    auto endTag = [&](std::size_t i, std::string_view name, bool nest) {
        int depth = 1;
        for (std::size_t k = i; k < s.size(); ++k) {
            if (s[k] != '<')
                continue;
            if (k + 1 < s.size() && s[k + 1] == '/' && nameAt(k + 2, name)) {
                std::size_t m = k + 2 + name.size();
                while (m < s.size() && space(s[m]))
                    ++m;
                if (m < s.size() && s[m] == '>' && --depth == 0)
                    return m + 1;
            } else if (nest && nameAt(k + 1, name) && k + 1 + name.size() < s.size()) {
                const char after = s[k + 1 + name.size()];
                if (space(after) || after == '/' || after == '>')
                    ++depth;
            }
        }
        return s.size();
    };
    // A server script's section at i: the position after it, or i when none starts.
    auto server = [&](std::size_t i) {
        if (i + 1 >= s.size() || s[i] != '<' || (s[i + 1] != '?' && s[i + 1] != '%'))
            return i;
        const std::size_t close = s.find(std::string{s[i + 1], '>'}, i + 2);
        return close == std::string_view::npos ? s.size() : close + 2;
    };
    PreformattedRules rules;
    std::vector<bool> kept(s.size(), false);
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] != '<' || i + 1 >= s.size() || !letter(s[i + 1])) {
            ++i;
            continue;
        }
        std::size_t k = i + 1;
        std::string name;
        while (k < s.size() && !space(s[k]) && s[k] != '/' && s[k] != '>')
            name += lower(s[k++]);
        if (k == s.size())
            break;
        name = name.substr(0, 64);
        bool block = false;
        for (std::string_view b : Names)
            block = block || name == b;
        if (block) {
            const std::size_t end = endTag(k, name, false);
            if (name == "style") {
                const std::size_t gt = s.find('>', k);
                CssScanner css(rules);
                if (gt < end)
                    css.Feed(s.substr(gt + 1, end - gt - 1));
                css.End();
            }
            for (; i < end; ++i)
                kept[i] = true;
            continue;
        }
        // The attributes, to the tag's ">".
        std::string classes, id, style, rel, href;
        bool cut = false;
        bool closed = false;
        while (k < s.size() && !closed) {
            if (space(s[k]) || s[k] == '/') {
                ++k;
                continue;
            }
            if (s[k] == '>') {
                closed = true;
                ++k;
                break;
            }
            std::string attr;
            while (k < s.size() && !space(s[k]) && s[k] != '/' && s[k] != '>' && s[k] != '=') {
                if (server(k) != k)
                    k = server(k);
                else if (s[k++] != '<')
                    attr += lower(s[k - 1]);
            }
            while (k < s.size() && space(s[k]))
                ++k;
            if (k == s.size() || s[k] != '=')
                continue;
            ++k;
            while (k < s.size() && space(s[k]))
                ++k;
            std::string* to = attr.substr(0, 64) == "class"   ? &classes
                              : attr.substr(0, 64) == "id"    ? &id
                              : attr.substr(0, 64) == "style" ? &style
                              : attr.substr(0, 64) == "rel"   ? &rel
                              : attr.substr(0, 64) == "href"  ? &href
                                                              : nullptr;
            std::string value;
            if (k < s.size() && (s[k] == '"' || s[k] == '\'')) {
                const char quote = s[k];
                kept[k++] = true;
                while (k < s.size() && s[k] != quote) {
                    if (server(k) != k) {
                        k = server(k);
                        continue;
                    }
                    kept[k] = true;
                    if (s[k++] != '<')
                        value += s[k - 1];
                }
                if (k < s.size())
                    kept[k++] = true;
            } else {
                while (k < s.size() && !space(s[k]) && s[k] != '>') {
                    if (server(k) != k)
                        k = server(k);
                    else if (s[k++] != '<')
                        value += s[k - 1];
                }
            }
            if (to != nullptr) {
                if (!to->empty())
                    value = (to == &style ? ";" : " ") + value;
                if (to->size() + value.size() > 4096)
                    cut = cut || (to != &rel && to != &href);
                else
                    *to += value;
            }
        }
        if (tags != nullptr) {
            for (std::size_t m = i; m < k; ++m)
                (*tags)[m] = true;
        }
        if (!closed)
            break;
        if (name == "link") {
            std::string r;
            for (char c : rel)
                r += space(c) ? ' ' : lower(c);
            if ((" " + r + " ").find(" stylesheet ") != std::string::npos) {
                for (const auto& sheet : linked)
                    if (sheet.first == href)
                        rules.AddStyleSheet(sheet.second);
            }
        }
        bool empty = false;
        for (std::string_view e : Empty)
            empty = empty || name == e;
        if (!empty && (cut || SetsPreformatted(style) || rules.Matches(name, classes, id))) {
            const std::size_t end = endTag(k, name, true);
            for (std::size_t m = k; m < end; ++m)
                kept[m] = true;
            k = end;
        }
        i = k;
    }
    return kept;
}

struct KeptResult {
    std::string text;
    bool hasPre = false; // "<pre>" with none of its bytes in a kept block or a start tag
};

// The optimizer with kept blocks on a text with CR LF breaks: the text gets its
// last break first; its lines are cut at the CR LFs outside blocks, each kept
// stretch becomes one unit that is no blank, and every line is optimized as
// OptimizeLines does, the blocks put back after.
inline KeptResult
OptimizeKeeping(std::string s,
                const std::vector<std::pair<std::string, std::string>>& linked = {}) {
    if (!s.empty() && s.back() != '\n')
        s += "\r\n";
    std::vector<bool> tags(s.size(), false);
    const std::vector<bool> kept = KeptBytes(s, linked, &tags);
    constexpr char32_t InTag = 0x80000000u; // a byte of a start tag that is no blank
    std::vector<std::string> blocks;
    std::vector<std::u32string> lines;
    std::u32string line;
    bool open = false; // the last line has no break of its own (it ends in a block)
    for (std::size_t i = 0; i < s.size();) {
        open = true;
        if (kept[i]) {
            std::size_t j = i;
            while (j < s.size() && kept[j])
                ++j;
            line += char32_t(0x100 + blocks.size());
            blocks.emplace_back(s.substr(i, j - i));
            i = j;
        } else if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
            lines.push_back(line);
            line.clear();
            open = false;
            i += 2;
        } else {
            const bool blank = s[i] == ' ' || s[i] == '\t';
            line += char32_t(static_cast<unsigned char>(s[i])) | (tags[i] && !blank ? InTag : 0);
            ++i;
        }
    }
    if (open)
        lines.push_back(line);
    KeptResult r;
    std::vector<bool> outKept;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        std::u32string optimized;
        if (!OptimizeLineOf(lines[n], optimized))
            continue;
        for (char32_t unit : optimized) {
            if (unit & InTag) {
                r.text += char(unit & 0xFF);
                outKept.push_back(true); // a "<pre>" in a tag is no element
            } else if (unit >= 0x100) {
                const std::string& block = blocks[unit - 0x100];
                r.text += block;
                outKept.insert(outKept.end(), block.size(), true);
            } else {
                r.text += char(unit);
                outKept.push_back(false);
            }
        }
        if (n + 1 < lines.size() || !open) {
            r.text += "\r\n";
            outKept.insert(outKept.end(), 2, false);
        }
    }
    for (std::size_t k = 0; k + 5 <= r.text.size() && !r.hasPre; ++k) {
        bool outside = true;
        for (std::size_t m = k; m < k + 5; ++m)
            outside = outside && !outKept[m];
        r.hasPre = outside && r.text.compare(k, 5, "<pre>") == 0;
    }
    return r;
}

// ---------------------------------------------------------------------------
// Replace-all

// The replace-all steps with U, Q and Rest. upper is the upper-casing of the
// case-insensitive mode. An occurrence that would begin inside a multi-byte
// character of the text is passed over; the search goes on from the next byte.
template <typename Upper>
std::string ReplaceAll(const std::string& S, const std::string& P, const std::string& R,
                       bool caseSensitive, Upper upper) {
    const std::string upperS = caseSensitive ? S : upper(S);
    const std::string Q = caseSensitive ? P : upper(P);
    // Views: cutting the front off U and Rest costs nothing, so long texts stay cheap.
    std::string_view U = upperS;
    std::string_view rest = S;
    std::string result;
    while (!U.empty()) {
        const std::size_t consumed = S.size() - rest.size(); // where U starts in S
        std::size_t k = 0;
        if (!Q.empty()) {
            std::size_t from = 0;
            for (;;) {
                const std::size_t at = U.find(Q, from);
                if (at == std::string_view::npos)
                    break;
                if (InsideUtf8Character(S, consumed + at)) {
                    from = at + 1;
                    continue;
                }
                k = at + 1;
                break;
            }
        }
        if (k == 0) {
            result += rest;
            return result;
        }
        result += rest.substr(0, k - 1);
        result += R;
        rest = rest.substr(k - 1 + P.size());
        U = U.substr(k - 1 + Q.size());
    }
    return result;
}

} // namespace reference
