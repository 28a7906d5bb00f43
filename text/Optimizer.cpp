#include "text/Optimizer.h"

#include "platform/FileIO.h"
#include "text/KeepingOptimizer.h"
#include "text/LineBreaks.h"
#include "text/OptimizeInto.h"
#include "text/TextDocument.h"

#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

constexpr std::size_t Dropped = DroppedLine;

#if defined(__SSE2__)
inline unsigned BlankMask(const char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i blank =
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t')));
    return static_cast<unsigned>(_mm_movemask_epi8(blank));
}
#endif

} // namespace

// The effect of the repeated pair deletions: leading and trailing spaces and tabs
// go, and every run of them inside the line is replaced by its last character.
std::size_t OptimizeInto(const char* src, std::size_t len, char* dst) {
    std::size_t s = 0;
#if defined(__SSE2__)
    // Indentation is skipped sixteen bytes at a time.
    while (s + 16 <= len) {
        const unsigned blank = BlankMask(src + s);
        if (blank != 0xFFFFu) {
            s += static_cast<std::size_t>(__builtin_ctz(~blank));
            break;
        }
        s += 16;
    }
#endif
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
    std::size_t j = s;
    const std::size_t last = e - 1;
#if defined(__SSE2__)
    // Sixteen bytes at a time while the byte after them is inside the line too.
    // Each block is loaded before anything is stored over it.
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    while (j + 16 < e) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + j));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + j + 1));
        const __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, tab));
        const __m128i blankNext =
            _mm_or_si128(_mm_cmpeq_epi8(next, space), _mm_cmpeq_epi8(next, tab));
        const unsigned drop =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(blank, blankNext)));
        if (drop == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + out), v);
            out += 16;
        } else {
            alignas(16) char bytes[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(bytes), v);
            for (unsigned k = 0; k < 16; ++k) {
                dst[out] = bytes[k];
                out += (drop >> k & 1u) ^ 1u;
            }
        }
        j += 16;
    }
#endif
    for (; j < last; ++j) {
        const char c = src[j];
        dst[out] = c;
        out += !(IsBlank(c) && IsBlank(src[j + 1]));
    }
    dst[out++] = src[last];
    return out;
}

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

std::size_t OptimizeLinesInPlace(char* data, std::size_t size) {
    const char* const end = data + size;
    std::size_t w = 0;
    for (char* p = data; p != end;) {
        const char* brk = FindLineBreak(p, end); // a CR LF
        const std::size_t n = OptimizeInto(p, static_cast<std::size_t>(brk - p), data + w);
        p = const_cast<char*>(brk) + 2;
        if (n == Dropped)
            continue;
        w += n;
        data[w++] = '\r';
        data[w++] = '\n';
    }
    return w;
}

bool ContainsPreTag(std::string_view text) {
    static constexpr char Tag[] = "<pre>";
    return text.size() >= 5 && ::memmem(text.data(), text.size(), Tag, 5) != nullptr;
}

OptimizeRun OptimizeDocument(TextDocument& doc, const OptimizeOptions& options) {
    OptimizeRun run;
    run.lengthBefore = doc.JoinedLength();
    if (run.lengthBefore == 0)
        return run;

    // Work in place: with CR LF after every line, no optimized line (plus its CR LF)
    // is longer than the line it came from, so the output never overtakes the input.
    // A text with lone breaks, or a last line without a break, is brought to that
    // form first (the lines stay the same). Where the content must be kept for a
    // rollback, the output goes to the spare buffer instead, so nothing is copied.
    std::string& text = doc.text_;
    if (doc.loneBreaks_ != 0) {
        std::string& unified = doc.spare_;
        unified.clear();
        AppendUnifiedBreaks(text, 0, unified, true);
        doc.KeepForRollback(true);
        text.swap(unified);
    }
    const bool keep = doc.KeepsNextChange();
    if (!keep && text.back() != '\n')
        text.append("\r\n", 2);
    std::string& out = keep ? doc.spare_ : text;
    if (keep)
        out.resize(text.size() + 2); // room for the break a last line may lack

    const char* p = text.data();
    const char* const end = p + text.size();
    char* const data = out.data();
    const std::size_t limit = doc.charLimit_;
    std::size_t w = 0;
    bool failed = false;
    if (options.keepPre) {
        KeepingOptimizer keeping(options.styleSheets);
        w = keeping.Run(p, text.size(), data);
        if (text.back() != '\n') // kept for a rollback: the last line's break is the output's
            w += keeping.Run("\r\n", 2, data + w);
        // run.hasPre stays false: every "<pre>" is a kept block's (KeepingOptimizer.h).
        if (w > limit) {
            // AppendLine's test line by line: the whole lines that fit stay.
            const void* lf = ::memrchr(data, '\n', limit);
            w = lf == nullptr ? 0
                              : static_cast<std::size_t>(static_cast<const char*>(lf) - data) + 1;
            failed = true;
        }
        p = end;
    }
    while (p != end) {
        const char* brk = FindLineBreak(p, end); // a CR LF, or the end of a last line
        const std::size_t n = OptimizeInto(p, static_cast<std::size_t>(brk - p), data + w);
        p = brk == end ? end : brk + 2;
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
    out.resize(w);
    if (keep) {
        doc.KeepForRollback(true);
        text.swap(out);
    }
    doc.Changed();
    doc.joinedLength_ = w;
    doc.loneBreaks_ = 0;
    doc.measured_ = true;
    if (failed)
        TextDocument::FailInsertion();

    run.lengthAfter = w;
    if (!options.keepPre)
        run.hasPre = ContainsPreTag(text);
    return run;
}
