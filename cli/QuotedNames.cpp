#include "cli/QuotedNames.h"

#include <cwchar>
#include <locale>
#include <memory>
#include <stdexcept>

namespace {

// The code point of the valid UTF-8 sequence of n bytes at s[i].
char32_t CodePoint(std::string_view s, std::size_t i, std::size_t n) {
    const auto lead = static_cast<unsigned char>(s[i]);
    char32_t cp = n == 1   ? lead
                  : n == 2 ? (lead & 0x1Fu)
                  : n == 3 ? (lead & 0x0Fu)
                           : (lead & 0x07u);
    for (std::size_t k = 1; k < n; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3Fu);
    return cp;
}

// Marks that change how the text around them reads without showing themselves:
// the bidirectional embeddings, overrides and isolates, zero-width characters,
// the byte order mark.
bool HidesText(char32_t cp) {
    return cp == 0x061C || (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2060 && cp <= 0x2064) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0xFEFF;
}

// The UTF-8 locale's character classes, as ls consults them; null where the
// system has no C.UTF-8 locale.
const std::ctype<wchar_t>* Utf8Classes() {
    static const std::unique_ptr<std::locale> locale = []() -> std::unique_ptr<std::locale> {
        try {
            return std::make_unique<std::locale>("C.UTF-8");
        } catch (const std::runtime_error&) {
            return nullptr;
        }
    }();
    return locale ? &std::use_facet<std::ctype<wchar_t>>(*locale) : nullptr;
}

bool Prints(char32_t cp) {
    if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0))
        return false;
    if (cp < 0x7F)
        return true;
    if (HidesText(cp))
        return false;
    if (const std::ctype<wchar_t>* classes = Utf8Classes())
        return classes->is(std::ctype_base::print, static_cast<wchar_t>(cp));
    // Without the locale: the line and paragraph separators and the
    // noncharacters do not print.
    return cp != 0x2028 && cp != 0x2029 && (cp & 0xFFFEu) != 0xFFFEu &&
           !(cp >= 0xFDD0 && cp <= 0xFDEF);
}

// How many bytes at s[i] form one character that prints (0: the byte at s[i]
// does not print).
std::size_t PrintingLength(std::string_view s, std::size_t i) {
    const std::size_t n = Utf8Length(s, i);
    return n != 0 && Prints(CodePoint(s, i, n)) ? n : 0;
}

// A byte as a C escape: \a \b \t \n \v \f \r or \ooo.
void AppendEscape(std::string& out, unsigned char c) {
    static const char letters[] = "abtnvfr";
    out += '\\';
    if (c >= '\a' && c <= '\r') {
        out += letters[c - '\a'];
        return;
    }
    out += static_cast<char>('0' + (c >> 6));
    out += static_cast<char>('0' + ((c >> 3) & 7));
    out += static_cast<char>('0' + (c & 7));
}

// A character a shell takes as more than itself, at position i of the name.
bool ShellSpecial(std::string_view name, std::size_t i) {
    switch (name[i]) {
    case ' ':
    case '!':
    case '"':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case ';':
    case '<':
    case '=':
    case '>':
    case '?':
    case '[':
    case '\\':
    case '^':
    case '`':
    case '|':
        return true;
    case '#':
    case '~':
        return i == 0;
    case '{':
    case '}':
        return name.size() == 1;
    default:
        return false;
    }
}

} // namespace

std::size_t Utf8Length(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    char32_t min = 0;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0u) != 0x80u)
            return 0;
    const char32_t cp = CodePoint(s, i, n);
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

std::string DiffHeaderName(std::string_view name) {
    bool quote = false;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        quote |= c <= ' ' || c == '"' || c == '\\' || c >= 0x80;
    }
    if (!quote)
        return std::string(name);
    std::string out = "\"";
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\')
            (out += '\\') += ch;
        else if (c < ' ' || c >= 0x80)
            AppendEscape(out, c);
        else
            out += ch;
    }
    return out + '"';
}

bool NameNeedsQuoting(std::string_view name) {
    if (name.empty())
        return true;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t n = PrintingLength(name, i);
        if (n == 0 || (n == 1 && ShellSpecial(name, i)))
            return true;
        i += n;
    }
    return false;
}

std::string QuotedName(std::string_view name) {
    if (!NameNeedsQuoting(name))
        return std::string(name);
    // A name whose only trouble is a single quote, and which holds nothing a
    // shell expands between double quotes, goes in double quotes.
    bool allPrint = true;
    for (std::size_t i = 0; i < name.size() && allPrint;) {
        const std::size_t n = PrintingLength(name, i);
        allPrint = n != 0;
        i += n;
    }
    if (allPrint && name.find('\'') != std::string_view::npos &&
        name.find_first_of("\"$`\\!") == std::string_view::npos) {
        std::string out(1, '"');
        out.append(name);
        out += '"';
        return out;
    }

    std::string out = "'";
    bool open = true; // inside single quotes
    for (std::size_t i = 0; i < name.size();) {
        std::size_t n = PrintingLength(name, i);
        if (n != 0) {
            if (!open)
                out += '\'';
            open = true;
            if (name[i] == '\'')
                out += "'\\''";
            else
                out.append(name, i, n);
            i += n;
            continue;
        }
        if (open)
            out += '\'';
        open = false;
        out += "$'";
        for (; i < name.size() && (n = PrintingLength(name, i)) == 0; ++i)
            AppendEscape(out, static_cast<unsigned char>(name[i]));
        out += '\'';
    }
    if (open)
        out += '\'';
    return out;
}

std::string QuoteNameIn(std::string message, std::string_view name) {
    if (name.empty() || !NameNeedsQuoting(name))
        return message;
    const std::string quoted = QuotedName(name);
    std::string out;
    std::size_t from = 0;
    for (std::size_t at; (at = message.find(name, from)) != std::string::npos;) {
        std::size_t begin = at;
        std::size_t end = at + name.size();
        if (begin > from && message[begin - 1] == '"' && end < message.size() &&
            message[end] == '"') {
            --begin;
            ++end;
        }
        out.append(message, from, begin - from);
        out += quoted;
        from = end;
    }
    out.append(message, from);
    return out;
}

std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = PrintingLength(text, i);
        if (n == 0) {
            AppendEscape(out, static_cast<unsigned char>(text[i]));
            ++i;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}
