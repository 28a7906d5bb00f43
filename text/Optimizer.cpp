#include "text/Optimizer.h"

#include "platform/FileIO.h"
#include "text/LineBreaks.h"
#include "text/TextDocument.h"

#include <cstring>
#include <stdexcept>

namespace {

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

constexpr std::size_t Dropped = static_cast<std::size_t>(-1);

// The optimized form of [src, src + len) written to dst, its length returned, or
// Dropped for a line of nothing but spaces and tabs. dst may equal or precede src
// (each output byte is written only after the input bytes at and before its place
// have been read).
//
// The effect of the repeated pair deletions: leading and trailing spaces and tabs
// go, and every run of them inside the line is replaced by its last character.
std::size_t OptimizeInto(const char* src, std::size_t len, char* dst) {
    std::size_t s = 0;
    while (s < len && IsBlank(src[s]))
        ++s;
    if (s == len)
        return Dropped;
    std::size_t e = len;
    while (IsBlank(src[e - 1]))
        --e;
    // [s, e) starts and ends with a non-blank character. Keep a blank only when
    // the next character is not blank: it is the last of its run.
    std::size_t out = 0;
    const std::size_t last = e - 1;
    for (std::size_t j = s; j < last; ++j) {
        const char c = src[j];
        dst[out] = c;
        out += !(IsBlank(c) && IsBlank(src[j + 1]));
    }
    dst[out++] = src[last];
    return out;
}

} // namespace

bool OptimizeLine(std::string_view line, std::string& out) {
    out.resize(line.size());
    const std::size_t n = OptimizeInto(line.data(), line.size(), out.data());
    if (n == Dropped) {
        out.clear();
        return false;
    }
    out.resize(n);
    return true;
}

std::vector<std::string> OptimizeLines(const std::vector<std::string>& lines) {
    std::vector<std::string> kept;
    kept.reserve(lines.size());
    std::string line;
    for (const std::string& in : lines) {
        if (OptimizeLine(in, line))
            kept.push_back(line);
    }
    return kept;
}

bool ContainsPreTag(std::string_view text) {
    static constexpr char Tag[] = "<pre>";
    return text.size() >= 5 && ::memmem(text.data(), text.size(), Tag, 5) != nullptr;
}

OptimizeRun OptimizeDocument(TextDocument& doc) {
    OptimizeRun run;
    run.lengthBefore = doc.JoinedLength();
    if (run.lengthBefore == 0)
        return run;

    // Work in place: with CR LF after every line, no optimized line (plus its CR LF)
    // is longer than the line it came from, so the output never overtakes the input.
    // A text with lone breaks, or a last line without a break, is brought to that
    // form first (the lines stay the same).
    std::string& text = doc.text_;
    if (doc.loneBreaks_ != 0) {
        std::string& unified = doc.spare_;
        unified.clear();
        AppendUnifiedBreaks(text, 0, unified, true);
        text.swap(unified);
    } else if (text.back() != '\n') {
        text.append("\r\n", 2);
    }

    char* const data = text.data();
    const char* const end = data + text.size();
    const std::size_t limit = doc.charLimit_;
    std::size_t w = 0;
    bool failed = false;
    for (char* p = data; p != end;) {
        const char* brk = FindLineBreak(p, end); // always a CR LF here
        const std::size_t n = OptimizeInto(p, static_cast<std::size_t>(brk - p), data + w);
        p = const_cast<char*>(brk) + 2;
        if (n == Dropped)
            continue;
        // AppendLine's test: the content so far, the line and its CR LF.
        if (n + 2 > limit || w > limit - n - 2) {
            failed = true;
            break;
        }
        w += n;
        data[w++] = '\r';
        data[w++] = '\n';
    }
    text.resize(w);
    doc.Changed();
    doc.joinedLength_ = w;
    doc.loneBreaks_ = 0;
    doc.measured_ = true;
    if (failed)
        TextDocument::FailInsertion();

    run.lengthAfter = w;
    run.hasPre = ContainsPreTag(text);
    return run;
}
