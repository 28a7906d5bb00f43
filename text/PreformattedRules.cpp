#include "text/PreformattedRules.h"

#include <algorithm>

namespace {

inline char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

inline bool IsCssSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

inline bool IsNameByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || u >= 0x80;
}

inline bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned long HexValue(char c) {
    return static_cast<unsigned long>(c <= '9' ? c - '0' : Lower(c) - 'a' + 10);
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsCssSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsCssSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

void AppendUtf8(std::string& out, unsigned long cp) {
    if (cp == 0 || cp > 0x10FFFF)
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += Lower(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// An identifier at s[i], escapes resolved, in lower case; i is moved past it.
std::string Identifier(std::string_view s, std::size_t& i) {
    std::string out;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\\' && i + 1 < s.size()) {
            ++i;
            if (IsHex(s[i])) {
                unsigned long cp = 0;
                for (int k = 0; k < 6 && i < s.size() && IsHex(s[i]); ++k, ++i)
                    cp = cp * 16 + HexValue(s[i]);
                if (i < s.size() && IsCssSpace(s[i]))
                    ++i;
                AppendUtf8(out, cp);
            } else {
                out += Lower(s[i++]);
            }
        } else if (IsNameByte(c)) {
            out += Lower(c);
            ++i;
        } else {
            break;
        }
    }
    return out;
}

// The position after the bracket that closes the one at s[i] ("(" or "["), or s.size().
std::size_t PastBracket(std::string_view s, std::size_t i) {
    int depth = 0;
    char quote = '\0';
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\\') {
            ++i;
        } else if (quote != '\0') {
            quote = c == quote ? '\0' : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(' || c == '[') {
            ++depth;
        } else if ((c == ')' || c == ']') && --depth == 0) {
            return i + 1;
        }
    }
    return s.size();
}

// Splits s at the commas outside brackets and strings, and hands each part to f.
template <typename F> void ForEachListItem(std::string_view s, char separator, F f) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (c == '(' || c == '[' || c == '"' || c == '\'') {
            i = c == '"' || c == '\'' ? std::min(s.size(), s.find(c, i + 1) + 1)
                                      : PastBracket(s, i);
            if (i == 0) // no closing quote
                i = s.size();
            continue;
        }
        if (c == '\\') {
            i += 2;
            continue;
        }
        if (c == separator) {
            f(s.substr(start, i - start));
            start = i + 1;
        }
        ++i;
    }
    f(s.substr(std::min(start, s.size())));
}

bool IsPreformattedValue(std::string_view value) {
    static constexpr std::string_view Values[] = {
        "pre",       "pre-wrap",        "pre-line",        "break-spaces",
        "preserve",  "preserve-breaks", "preserve-spaces", "-moz-pre-wrap",
        "-pre-wrap", "-o-pre-wrap"};
    std::string word;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        const char c = i < value.size() ? Lower(value[i]) : ' ';
        if (IsCssSpace(c) || c == ',' || c == '!' || c == '<' || c == '/' || c == ')') {
            if (word.rfind("var(", 0) == 0 || word.rfind("env(", 0) == 0 ||
                std::find(std::begin(Values), std::end(Values), word) != std::end(Values))
                return true; // a value only known when the page is shown may be one too
            word.clear();
        } else {
            word += c;
        }
    }
    return false;
}

} // namespace

bool SetsPreformatted(std::string_view declarations) {
    bool found = false;
    ForEachListItem(declarations, ';', [&](std::string_view declaration) {
        const std::size_t colon = declaration.find(':');
        if (found || colon == std::string_view::npos)
            return;
        std::string property;
        for (const char c : Trim(declaration.substr(0, colon)))
            property += Lower(c);
        if (property == "white-space" || property == "white-space-collapse")
            found = IsPreformattedValue(declaration.substr(colon + 1));
    });
    return found;
}

bool PreformattedRules::Matches(std::string_view name, std::string_view classes,
                                std::string_view id) const {
    if (all_)
        return true;
    std::string key(name);
    if (types_.count(key) != 0)
        return true;
    std::string token;
    auto check = [&](bool isId) {
        if (token.empty())
            return false;
        if (isId)
            return ids_.count(token) != 0;
        key.assign(name);
        key += '.';
        key += token;
        if (classes_.count(key) != 0)
            return true;
        key.assign(1, '.');
        key += token;
        return classes_.count(key) != 0;
    };
    for (const bool isId : {false, true}) {
        if (isId ? ids_.empty() : classes_.empty())
            continue;
        const std::string_view value = isId ? id : classes;
        token.clear();
        for (const char c : value) {
            if (IsCssSpace(c)) {
                if (check(isId))
                    return true;
                token.clear();
            } else {
                token += Lower(c);
            }
        }
        if (check(isId))
            return true;
    }
    return false;
}

void PreformattedRules::Add(const PreformattedRules& other) {
    all_ = all_ || other.all_;
    types_.insert(other.types_.begin(), other.types_.end());
    classes_.insert(other.classes_.begin(), other.classes_.end());
    ids_.insert(other.ids_.begin(), other.ids_.end());
}

void PreformattedRules::AddSelectorList(std::string_view selectors) {
    std::string list(selectors);
    // The markers a <style> block may hide its rules in are no part of them.
    for (const std::string_view marker : {std::string_view("<!--"), std::string_view("-->")}) {
        for (std::size_t at = list.find(marker); at != std::string::npos; at = list.find(marker))
            list.replace(at, marker.size(), marker.size(), ' ');
    }
    ForEachListItem(list, ',', [this](std::string_view selector) {
        // The last compound: what follows the last combinator outside brackets.
        std::size_t start = 0;
        bool between = false;
        for (std::size_t i = 0; i < selector.size();) {
            const char c = selector[i];
            if (IsCssSpace(c) || c == '>' || c == '+' || c == '~') {
                between = true;
                ++i;
                continue;
            }
            if (between) {
                start = i;
                between = false;
            }
            if (c == '(' || c == '[')
                i = PastBracket(selector, i);
            else
                i += c == '\\' ? 2 : 1;
        }
        const std::string_view compound = Trim(selector.substr(std::min(start, selector.size())));
        if (!Trim(selector).empty())
            AddCompound(compound);
    });
}

void PreformattedRules::AddCompound(std::string_view compound) {
    std::size_t i = 0;
    while (i < compound.size() && compound[i] == '&') // a nested rule's parent
        ++i;
    std::string type;
    if (i < compound.size() && compound[i] == '*')
        ++i;
    else
        type = Identifier(compound, i);
    if (i < compound.size() && compound[i] == '|') { // a namespace before the type
        ++i;
        type = i < compound.size() && compound[i] == '*' ? std::string() : Identifier(compound, i);
    }
    std::string firstClass;
    std::string id;
    while (i < compound.size()) {
        const char c = compound[i];
        if (c == '.' || c == '#') {
            ++i;
            std::string name = Identifier(compound, i);
            std::string& to = c == '.' ? firstClass : id;
            if (to.empty())
                to = std::move(name);
        } else if (c == '[') {
            i = PastBracket(compound, i);
        } else if (c == ':') {
            while (i < compound.size() && compound[i] == ':')
                ++i;
            Identifier(compound, i);
            if (i < compound.size() && compound[i] == '(')
                i = PastBracket(compound, i);
        } else if (c == '&') {
            ++i;
        } else {
            break;
        }
    }
    if (!id.empty())
        ids_.insert(id);
    else if (!firstClass.empty())
        classes_.insert(type + "." + firstClass);
    else if (!type.empty())
        types_.insert(type);
    else
        all_ = true;
}

void PreformattedRules::AddStyleSheet(std::string_view css) {
    CssScanner scanner(*this);
    scanner.Feed(css);
    scanner.End();
}

void CssScanner::Append(char c) {
    if (statement_.size() < MaxStatement)
        statement_ += c;
    else
        cut_ = true;
}

void CssScanner::Feed(std::string_view css) {
    for (const char c : css) {
        if (inComment_) {
            if (star_ && c == '/')
                inComment_ = false;
            star_ = c == '*';
            continue;
        }
        if (quote_ != '\0') {
            Append(c);
            if (escaped_)
                escaped_ = false;
            else if (c == '\\')
                escaped_ = true;
            else if (c == quote_)
                quote_ = '\0';
            continue;
        }
        if (slash_) {
            slash_ = false;
            if (c == '*') {
                inComment_ = true;
                star_ = false;
                continue;
            }
            Append('/');
        }
        if (escaped_) {
            escaped_ = false;
            Append(c);
            continue;
        }
        switch (c) {
        case '/':
            slash_ = true;
            break;
        case '\\':
            escaped_ = true;
            Append(c);
            break;
        case '"':
        case '\'':
            quote_ = c;
            Append(c);
            break;
        case '{':
            Open();
            break;
        case '}':
            Close();
            break;
        case ';':
            Statement();
            break;
        default:
            Append(c);
        }
    }
}

void CssScanner::Open() {
    const int parent = depth_ == 0 ? 0 : depth_ > MaxDepth ? 1 : kinds_[depth_ - 1];
    unsigned char kind = 2;
    std::string selectors;
    const std::string_view prelude = Trim(statement_);
    if (parent == 2) {
        kind = 2;
    } else if (!prelude.empty() && prelude.front() == '@') {
        std::size_t i = 1;
        const std::string name = Identifier(prelude, i);
        static constexpr std::string_view Grouping[] = {
            "media",    "supports",      "layer", "container",
            "document", "-moz-document", "scope", "starting-style"};
        if (std::find(std::begin(Grouping), std::end(Grouping), name) != std::end(Grouping))
            kind = 0;
    } else {
        // A rule, or one nested in a rule's declarations.
        kind = 1;
        selectors = cut_ ? std::string("*") : std::string(prelude);
    }
    if (depth_ < MaxDepth) {
        kinds_[depth_] = kind;
        selectors_[depth_] = std::move(selectors);
    }
    ++depth_; // deeper than MaxDepth: a rule that matches every element
    statement_.clear();
    cut_ = false;
}

void CssScanner::Statement() {
    if (depth_ > 0 && (depth_ > MaxDepth || kinds_[depth_ - 1] == 1) &&
        SetsPreformatted(statement_))
        rules_->AddSelectorList(depth_ > MaxDepth ? std::string_view("*")
                                                  : std::string_view(selectors_[depth_ - 1]));
    statement_.clear();
    cut_ = false;
}

void CssScanner::Close() {
    Statement();
    if (depth_ > 0)
        --depth_;
}

void CssScanner::End() {
    if (slash_)
        Append('/');
    while (depth_ > 0)
        Close();
    statement_.clear();
    cut_ = false;
    quote_ = '\0';
    escaped_ = slash_ = inComment_ = star_ = false;
}
