#include "text/KeepingOptimizer.h"

#include "text/LineBreaks.h"
#include "text/OptimizeInto.h"

#include <algorithm>
#include <cstring>

namespace {

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

constexpr std::size_t WindowBytes = std::size_t{64} << 10;

// The start of the line after the break at brk, its kind counted. A CR that
// ends the input leaves its LF, if one comes, to be skipped at the start of the
// next piece (and the CR to be counted then).
inline const char* PastBreak(const char* brk, const char* stop, bool& skipLf,
                             KeepingOptimizer::Breaks& breaks) {
    const char* p = brk + 1;
    if (*brk == '\r') {
        if (p == stop)
            skipLf = true;
        else if (*p == '\n') {
            ++p;
            ++breaks.crLf;
        } else
            ++breaks.loneCr;
    } else {
        ++breaks.loneLf;
    }
    return p;
}

// A line break written at dst[w]: LF, or CR LF.
inline std::size_t PutBreak(char* dst, std::size_t w, bool lf) {
    if (!lf)
        dst[w++] = '\r';
    dst[w++] = '\n';
    return w;
}

} // namespace

std::size_t KeepingOptimizer::Run(const char* src, std::size_t len, char* dst) {
    const char* p = src;
    const char* const end = src + len;
    std::size_t w = 0;
    while (p != end) {
        // A window at a time, so that the lines are optimized while the bytes the
        // finder has just read are still in the cache.
        const std::string_view rest(
            p, std::min<std::size_t>(static_cast<std::size_t>(end - p), WindowBytes));
        if (finder_.Inside()) {
            // A block's bytes go out as they are but for their breaks; its line
            // holds text.
            const char* const stop = p + finder_.FindEnd(rest);
            w = Kept(p, stop, dst, w);
            p = stop;
            continue;
        }
        const char* const stop = p + finder_.FindStart(rest);
        w = Outside(p, stop, dst, w);
        p = stop;
        if (finder_.Inside()) {
            // What opens the stretch (a tag's "<" and name, its ">", a value's
            // quote) came before as text: nothing is held.
            lineHasText_ = true;
            heldBlank_ = '\0';
        }
    }
    return w;
}

// The bytes [p, stop), outside every block: line parts and the breaks between.
std::size_t KeepingOptimizer::Outside(const char* p, const char* stop, char* dst, std::size_t w) {
    while (p != stop) {
        if (skipLf_) {
            p = AfterHeldCr(p);
            continue;
        }
        if (!lineHasText_) {
            // Whole lines, as the optimizer without blocks takes them, in a loop
            // of their own that keeps its state in registers (a member would be
            // read again after every byte written).
            const bool lf = lf_;
            Breaks breaks = breaks_;
            bool skipLf = false;
            const char* brk = FindLineBreak(p, stop);
            while (brk != stop) {
                const std::size_t kept =
                    OptimizeInto(p, static_cast<std::size_t>(brk - p), dst + w);
                // The break is read before the line's break is written, as it may
                // be written over.
                p = PastBreak(brk, stop, skipLf, breaks);
                if (kept != DroppedLine) {
                    w = PutBreak(dst, w + kept, lf);
                    ++breaks.written;
                }
                if (p == stop)
                    break;
                brk = FindLineBreak(p, stop);
            }
            breaks_ = breaks;
            skipLf_ = skipLf;
            if (p == stop)
                return w;
            // The start of a line that goes on after stop.
            return LinePart(p, static_cast<std::size_t>(stop - p), dst, w);
        }
        const char* brk = FindLineBreak(p, stop);
        w = LinePart(p, static_cast<std::size_t>(brk - p), dst, w);
        if (brk == stop)
            break;
        // The line ends: it is written with its break when it holds anything. The
        // break is read before that is written, as it may be written over.
        p = PastBreak(brk, stop, skipLf_, breaks_);
        if (lineHasText_) {
            w = PutBreak(dst, w, lf_);
            ++breaks_.written;
        }
        lineHasText_ = false;
        heldBlank_ = '\0';
    }
    return w;
}

// p[0, n), part of a line, with no break in it.
std::size_t KeepingOptimizer::LinePart(const char* p, std::size_t n, char* dst, std::size_t w) {
    if (n == 0)
        return w;
    std::size_t first = 0;
    while (first < n && IsBlank(p[first]))
        ++first;
    if (first == n) {
        // Blanks only: after text they may be the run before more text.
        if (lineHasText_)
            heldBlank_ = p[n - 1];
        return w;
    }
    std::size_t last = n - 1;
    while (IsBlank(p[last]))
        --last;
    // A run of blanks between text is written as its last blank.
    if (lineHasText_ && first > 0)
        dst[w++] = p[first - 1];
    else if (lineHasText_ && heldBlank_ != '\0')
        dst[w++] = heldBlank_;
    w += OptimizeInto(p + first, last - first + 1, dst + w);
    lineHasText_ = true;
    heldBlank_ = last + 1 < n ? p[n - 1] : '\0';
    return w;
}

// The bytes [p, stop) of a kept stretch, as they are but for their line breaks,
// which are written in the chosen style.
std::size_t KeepingOptimizer::Kept(const char* p, const char* stop, char* dst, std::size_t w) {
    if (p != stop && skipLf_)
        p = AfterHeldCr(p);
    if (lf_) {
        while (p != stop) {
            const char* brk = FindLineBreak(p, stop);
            const auto n = static_cast<std::size_t>(brk - p);
            std::memmove(dst + w, p, n);
            w += n;
            if (brk == stop)
                break;
            p = PastBreak(brk, stop, skipLf_, breaks_);
            w = PutBreak(dst, w, true);
            ++breaks_.written;
        }
        return w;
    }
    // CR LF written: only a lone break changes, so the stretches between them are
    // copied whole (their CR LFs are not counted).
    while (p != stop) {
        const std::string_view rest(p, static_cast<std::size_t>(stop - p));
        const std::size_t n = std::min(FirstLoneBreak(rest), rest.size());
        std::memmove(dst + w, p, n);
        w += n;
        p += n;
        if (p == stop)
            break;
        // A lone break, or a CR whose LF may come with the next bytes.
        p = PastBreak(p, stop, skipLf_, breaks_);
        w = PutBreak(dst, w, false);
    }
    return w;
}

const char* KeepingOptimizer::AfterHeldCr(const char* p) {
    skipLf_ = false;
    if (*p == '\n') {
        ++breaks_.crLf;
        return p + 1;
    }
    ++breaks_.loneCr;
    return p;
}

void KeepingOptimizer::End() {
    if (skipLf_) {
        skipLf_ = false;
        ++breaks_.loneCr;
    }
}
