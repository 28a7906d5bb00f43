#include "text/KeptBlocks.h"

#include "text/LineBreaks.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::string_view Names[] = {"pre", "textarea", "script",   "style",
                                      "xmp", "listing",  "plaintext"};
constexpr int StyleName = 3;

// The elements that have no content.
constexpr std::string_view Empty[] = {"area",  "base",   "br",    "col",    "embed", "frame",
                                      "hr",    "img",    "input", "keygen", "link",  "meta",
                                      "param", "source", "track", "wbr"};

// Longer values are cut: a cut value keeps its element.
constexpr std::size_t MaxValue = 4096;

inline char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

inline bool IsTagSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

inline bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The position of the next c in text from i, or npos.
inline std::size_t Next(std::string_view text, std::size_t i, char c) {
    const void* at = std::memchr(text.data() + i, c, text.size() - i);
    return at == nullptr ? std::string_view::npos
                         : static_cast<std::size_t>(static_cast<const char*>(at) - text.data());
}

// The same for the next "<" between tags, which is mostly a few bytes away: the
// first bytes are looked at here, the rest by memchr.
inline std::size_t NextLt(std::string_view text, std::size_t i) {
#if defined(__SSE2__)
    const __m128i lt = _mm_set1_epi8('<');
    for (int k = 0; k < 4 && i + 16 <= text.size(); ++k, i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(v, lt));
        if (mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    return Next(text, i, '<');
}

// The position of the first byte from i that a quoted value is looked at for
// (its quote, a server script's section, a break, a blank), or text.size().
inline std::size_t NextInValue(std::string_view text, std::size_t i, char quote) {
    const std::size_t n = text.size();
#if defined(__SSE2__)
    const __m128i q = _mm_set1_epi8(quote);
    const __m128i lt = _mm_set1_epi8('<');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, q), _mm_cmpeq_epi8(v, lt)),
                                      _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))),
                         _mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, tab)));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    for (; i < n; ++i) {
        const char v = text[i];
        if (v == quote || v == '<' || v == '\r' || v == '\n' || v == ' ' || v == '\t')
            return i;
    }
    return n;
}

// The bytes that end a tag's name, an attribute's name and an unquoted value.
struct ByteTables {
    bool endsTagName[256] = {};
    bool endsName[256] = {};
    bool endsUnquoted[256] = {};
    constexpr ByteTables() {
        for (const char c : {' ', '\t', '\r', '\n', '\f', '/', '>'})
            endsTagName[static_cast<unsigned char>(c)] = true;
        for (const char c : {' ', '\t', '\r', '\n', '\f', '/', '>', '=', '<'})
            endsName[static_cast<unsigned char>(c)] = true;
        for (const char c : {' ', '\t', '\r', '\n', '\f', '>', '<'})
            endsUnquoted[static_cast<unsigned char>(c)] = true;
    }
};
constexpr ByteTables ByByte;

// The names by their first letter: most tags are told apart by it alone.
int BlockName(std::string_view name) {
    if (name.size() < 3 || name.size() > 9)
        return -1;
    for (int k = 0; k < static_cast<int>(std::size(Names)); ++k) {
        if (Names[k][0] == name[0] && name == Names[k])
            return k;
    }
    return -1;
}

bool HasNoContent(std::string_view name) {
    for (const std::string_view empty : Empty) {
        if (empty[0] == name[0] && name == empty)
            return true;
    }
    return false;
}

} // namespace

void BlockFinder::Capture(std::string_view bytes, char before) {
    if (capture_ == nullptr || bytes.empty())
        return;
    if (before == '\r' ||
        FindLineBreak(bytes.data(), bytes.data() + bytes.size()) != bytes.data() + bytes.size()) {
        // Each CR, and each LF that follows no CR, as a CR LF.
        captured_.clear();
        for (const char c : bytes) {
            if (c == '\r' || (c == '\n' && before != '\r'))
                captured_.append("\r\n", 2);
            else if (c != '\n')
                captured_ += c;
            before = c;
        }
        bytes = captured_;
    }
    if (capture_->size() + bytes.size() > MaxValue) {
        // A class, id or style too long to look at keeps its element; a sheet
        // whose address is cut is not read.
        if (capture_ == &rel_ || capture_ == &href_)
            linkCut_ = true;
        else
            cut_ = true;
        capture_ = nullptr;
    } else
        capture_->append(bytes);
}

// "=" after an attribute's name: the values the tag's end looks at are kept
// (a class or id only when there are rules to match, a rel or href only in a
// <link> whose sheet can be read).
void BlockFinder::StartValue() {
    const std::string_view attr = attr_.View();
    capture_ = nullptr;
    switch (attr.size()) {
    case 2:
        if (attr == "id" && !rules_.Empty())
            capture_ = &id_;
        break;
    case 3:
    case 4:
        if (linked_ != nullptr && name_.View() == "link")
            capture_ = attr == "rel" ? &rel_ : attr == "href" ? &href_ : nullptr;
        break;
    case 5:
        if (attr == "style")
            capture_ = &style_;
        else if (attr == "class" && !rules_.Empty())
            capture_ = &classes_;
        break;
    default:
        break;
    }
    if (capture_ != nullptr && !capture_->empty())
        Capture(capture_ == &style_ ? ";" : " ", '\0'); // a repeated attribute matches more
}

// No attribute that could keep the element, and no rule for its name alone.
bool BlockFinder::NothingToLookAt() const {
    return !cut_ && style_.empty() && classes_.empty() && id_.empty() && href_.empty() &&
           !rules_.MatchesType(name_.View());
}

bool BlockFinder::TagEnds() {
    bool keep = false;
    if (NothingToLookAt()) {
        // Most tags.
        classes_.clear();
        id_.clear();
        rel_.clear();
        linkCut_ = false;
        capture_ = nullptr;
        where_ = Where::Text;
        return false;
    }
    const std::string_view name = name_.View();
    if (name == "link" && linked_ != nullptr && !href_.empty()) {
        // <link rel="stylesheet" href="...">: its rules count from here on.
        std::string rel = rel_;
        std::transform(rel.begin(), rel.end(), rel.begin(), Lower);
        bool sheet = false;
        for (std::size_t at = rel.find("stylesheet"); at != std::string::npos && !sheet;
             at = rel.find("stylesheet", at + 1)) {
            const std::size_t after = at + 10;
            sheet = (at == 0 || IsTagSpace(rel[at - 1])) &&
                    (after == rel.size() || IsTagSpace(rel[after]));
        }
        if (sheet && !linkCut_) {
            if (const PreformattedRules* linked = linked_->Sheet(href_))
                rules_.Add(*linked);
        }
    }
    if (!HasNoContent(name)) {
        keep = cut_ || (!style_.empty() && SetsPreformatted(style_)) ||
               (!rules_.Empty() && rules_.Matches(name, classes_, id_));
    }
    classes_.clear();
    id_.clear();
    style_.clear();
    rel_.clear();
    href_.clear();
    cut_ = linkCut_ = false;
    capture_ = nullptr;
    where_ = Where::Text;
    if (keep) {
        region_ = Region::Element;
        element_ = name;
        depth_ = 1;
        elementMatched_ = -1;
    }
    return keep;
}

std::size_t BlockFinder::FindStart(std::string_view text) {
    const std::size_t at = Start(text);
    if (at != 0)
        before_ = text[at - 1];
    return at;
}

std::size_t BlockFinder::FindEnd(std::string_view text) {
    const std::size_t at = End(text);
    if (at != 0)
        before_ = text[at - 1];
    return at;
}

// A start tag's name has come: true when it opens a block, which starts at the
// byte after it.
bool BlockFinder::StartsBlock() {
    const int block = BlockName(name_.View());
    if (block < 0)
        return false;
    region_ = Region::Block;
    block_ = block;
    endMatched_ = -1;
    styleTag_ = block == StyleName;
    where_ = Where::Text;
    return true;
}

std::size_t BlockFinder::Start(std::string_view text) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = text[i];
        switch (where_) {
        case Where::Text: {
            // From "<" to "<", passing over those that open no start tag (no
            // letter follows; that byte may be the next "<") and the start tags
            // that end with their name, which have nothing to look at unless a
            // type rule names them: nothing is captured between a tag's end and
            // the next one's name.
            for (;;) {
                const std::size_t lt = NextLt(text, i);
                if (lt == std::string_view::npos)
                    return n;
                i = lt + 1;
                if (i == n) {
                    where_ = Where::Lt;
                    return n;
                }
                if (!IsLetter(text[i]))
                    continue;
                const std::size_t from = i;
                while (i < n && !ByByte.endsTagName[static_cast<unsigned char>(text[i])])
                    ++i;
                name_.Clear();
                name_.Append(text.substr(from, i - from));
                if (i == n) {
                    where_ = Where::Name;
                    return n;
                }
                if (StartsBlock())
                    return i;
                if (text[i] != '>' || rules_.MatchesType(name_.View()))
                    break; // attributes to look at, or a type rule to apply
                ++i;
            }
            where_ = Where::BeforeAttr;
            break;
        }
        case Where::Lt:
            if (IsLetter(c)) {
                name_.Clear();
                where_ = Where::Name;
            } else {
                where_ = Where::Text; // this byte may be the next "<"
            }
            break;
        case Where::Name: {
            const std::size_t from = i;
            while (i < n && !ByByte.endsTagName[static_cast<unsigned char>(text[i])])
                ++i;
            name_.Append(text.substr(from, i - from));
            if (i == n)
                return n;
            if (StartsBlock())
                return i;
            where_ = Where::BeforeAttr;
            break;
        }
        case Where::BeforeAttr:
            if (c == '>') {
                ++i;
                if (NothingToLookAt()) {
                    // Most tags.
                    rel_.clear();
                    linkCut_ = false;
                    capture_ = nullptr;
                    where_ = Where::Text;
                } else if (TagEnds()) {
                    return i;
                }
            } else if (c == '<') {
                back_ = Where::AttrName;
                where_ = Where::TagLt;
                attr_.Clear();
                ++i;
            } else if (IsTagSpace(c) || c == '/') {
                ++i;
            } else {
                attr_.Clear();
                where_ = Where::AttrName;
            }
            break;
        case Where::AttrName:
            if (IsTagSpace(c)) {
                where_ = Where::AfterAttrName;
            } else if (c == '/' || c == '>') {
                where_ = Where::BeforeAttr;
                break;
            } else if (c == '=') {
                StartValue();
                where_ = Where::BeforeValue;
            } else if (c == '<') {
                back_ = Where::AttrName;
                where_ = Where::TagLt;
            } else {
                // The name's bytes at once; only the first few can tell a wanted name.
                const std::size_t from = i;
                while (i < n && !ByByte.endsName[static_cast<unsigned char>(text[i])])
                    ++i;
                attr_.Append(text.substr(from, i - from));
                break;
            }
            ++i;
            break;
        case Where::AfterAttrName:
            if (IsTagSpace(c)) {
                ++i;
            } else if (c == '=') {
                StartValue();
                where_ = Where::BeforeValue;
                ++i;
            } else {
                where_ = Where::BeforeAttr;
            }
            break;
        case Where::BeforeValue:
            if (IsTagSpace(c)) {
                ++i;
            } else if (c == '"' || c == '\'') {
                quote_ = c;
                where_ = Where::Value;
                ++i;
            } else if (c == '>') {
                where_ = Where::BeforeAttr;
            } else {
                where_ = Where::Unquoted;
            }
            break;
        case Where::Unquoted:
            if (IsTagSpace(c)) {
                where_ = Where::BeforeAttr;
                ++i;
            } else if (c == '>') {
                where_ = Where::BeforeAttr;
            } else if (c == '<') {
                back_ = Where::Unquoted;
                where_ = Where::TagLt;
                ++i;
            } else {
                const std::size_t from = i;
                while (i < n && !ByByte.endsUnquoted[static_cast<unsigned char>(text[i])])
                    ++i;
                Capture(text.substr(from, i - from), '\0'); // no break in it
            }
            break;
        case Where::Value: {
            // The value up to its closing quote is passed over when keeping it would
            // change nothing; the first run of blanks or line break in it starts it
            // as a kept stretch. So does the end of the text, where the rest is
            // still to come.
            std::size_t j = NextInValue(text, i, quote_);
            while (j < n && IsBlank(text[j]) && j + 1 < n && !IsBlank(text[j + 1]))
                j = NextInValue(text, j + 1, quote_); // a single blank
            if (j < n && (text[j] == quote_ || text[j] == '<')) {
                Capture(text.substr(i, j - i), i > 0 ? text[i - 1] : before_);
                where_ = text[j] == quote_ ? Where::BeforeAttr : Where::ValueLt;
                i = j + 1;
                break;
            }
            region_ = Region::Value;
            return i;
        }
        case Where::TagLt:
        case Where::ValueLt:
            if (c == '?' || c == '%') {
                if (where_ == Where::ValueLt)
                    back_ = Where::Value;
                serverClose_ = c;
                where_ = Where::Server;
                ++i;
            } else {
                where_ = where_ == Where::ValueLt ? Where::Value : back_;
            }
            break;
        case Where::Server: {
            const std::size_t close = Next(text, i, serverClose_);
            if (close == std::string_view::npos)
                return n;
            i = close + 1;
            where_ = Where::ServerEnd;
            break;
        }
        case Where::ServerEnd:
            if (c == '>') {
                where_ = back_;
                ++i;
            } else if (c == serverClose_) {
                ++i;
            } else {
                where_ = Where::Server;
            }
            break;
        }
    }
    return n;
}

std::size_t BlockFinder::End(std::string_view text) {
    switch (region_) {
    case Region::Block:
        return BlockEnd(text);
    case Region::Element:
        return ElementEnd(text);
    case Region::Value:
        return ValueEnd(text);
    case Region::None:
        break;
    }
    return 0;
}

// A kept value ends with its closing quote, or before a server script's section.
std::size_t BlockFinder::ValueEnd(std::string_view text) {
    std::size_t j = 0;
    while (j < text.size() && text[j] != quote_ && text[j] != '<')
        ++j;
    Capture(text.substr(0, j), before_);
    if (j == text.size())
        return j;
    where_ = text[j] == quote_ ? Where::BeforeAttr : Where::ValueLt;
    region_ = Region::None;
    return j + 1;
}

// One byte of a possible end tag: true when it is the ">" that ends the block.
bool BlockFinder::StepBlockEnd(char c) {
    const std::string_view name = Names[block_];
    bool fits = false;
    if (endMatched_ == 0) {
        fits = c == '/';
    } else if (static_cast<std::size_t>(endMatched_ - 1) < name.size()) {
        fits = Lower(c) == name[static_cast<std::size_t>(endMatched_ - 1)];
    } else if (c == '>') {
        region_ = Region::None;
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

std::size_t BlockFinder::BlockEnd(std::string_view text) {
    std::size_t i = 0;
    std::size_t end = text.size();
    while (i < text.size()) {
        if (endMatched_ < 0) {
            const std::size_t lt = Next(text, i, '<');
            if (lt == std::string_view::npos)
                break;
            endMatched_ = 0;
            i = lt + 1;
            continue;
        }
        if (StepBlockEnd(text[i])) {
            end = i + 1;
            break;
        }
        ++i;
    }
    if (block_ == StyleName) {
        // The rules of a <style> block count from its end tag on; its start tag's
        // attributes are none of them.
        std::string_view css = text.substr(0, end);
        if (styleTag_) {
            const std::size_t gt = css.find('>');
            styleTag_ = gt == std::string_view::npos;
            css.remove_prefix(styleTag_ ? css.size() : gt + 1);
        }
        cssBreaks_.Feed(css, cssText_);
        if (region_ == Region::None)
            cssBreaks_.Finish(cssText_);
        css_.Feed(cssText_);
        cssText_.clear();
        if (region_ == Region::None)
            css_.End();
    }
    return end;
}

// One byte of a possible tag of the element's name: true when it is the ">" of
// the end tag that closes the element.
bool BlockFinder::StepElementEnd(char c) {
    if (elementMatched_ == 0 && c == '/' && !elementEnd_) {
        elementEnd_ = true;
        return false;
    }
    const auto at = static_cast<std::size_t>(elementMatched_ == 0 ? 0 : elementMatched_ - 1);
    if (elementMatched_ == 0 || at < element_.size()) {
        if (at < element_.size() && Lower(c) == element_[at]) {
            elementMatched_ = static_cast<int>(at) + 2;
            return false;
        }
    } else if (elementEnd_) {
        if (IsTagSpace(c))
            return false;
        if (c == '>' && --depth_ == 0) {
            region_ = Region::None;
            elementMatched_ = -1;
            return true;
        }
    } else if (IsTagSpace(c) || c == '/' || c == '>') {
        ++depth_; // a start tag of the same name
    }
    elementMatched_ = c == '<' ? 0 : -1;
    elementEnd_ = false;
    return false;
}

std::size_t BlockFinder::ElementEnd(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (elementMatched_ < 0) {
            const std::size_t lt = Next(text, i, '<');
            if (lt == std::string_view::npos)
                return text.size();
            elementMatched_ = 0;
            elementEnd_ = false;
            i = lt + 1;
            continue;
        }
        if (StepElementEnd(text[i]))
            return i + 1;
        ++i;
    }
    return text.size();
}
