#include "text/LineBreaks.h"

#include "platform/FileIO.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

const char* FindLineBreak(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int mask =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        if (mask != 0)
            return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
    while (p != end && *p != '\r' && *p != '\n')
        ++p;
    return p;
}

namespace {

inline bool LoneAt(const char* begin, const char* p, const char* end) {
    if (*p == '\n')
        return p == begin || p[-1] != '\r';
    return *p == '\r' && (p + 1 == end || p[1] != '\n');
}

// The first lone CR or lone LF in [p, end), or end; begin is where the text starts
// (the byte before p decides whether an LF at p ends a CR LF).
const char* FindLoneBreak(const char* begin, const char* p, const char* end) {
#if defined(__SSE2__)
    if (p == begin && p != end) {
        if (LoneAt(begin, p, end))
            return p;
        ++p;
    }
    // Sixteen bytes at a time, with the byte before and the byte after them in reach.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - p >= 17) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 1));
        const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        const __m128i loneCr = _mm_andnot_si128(_mm_cmpeq_epi8(after, lf), _mm_cmpeq_epi8(v, cr));
        const __m128i loneLf = _mm_andnot_si128(_mm_cmpeq_epi8(before, cr), _mm_cmpeq_epi8(v, lf));
        const int mask = _mm_movemask_epi8(_mm_or_si128(loneCr, loneLf));
        if (mask != 0)
            return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
    for (; p != end; ++p) {
        if ((*p == '\r' || *p == '\n') && LoneAt(begin, p, end))
            return p;
    }
    return end;
}

} // namespace

std::size_t FirstLoneBreak(std::string_view text) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* p = FindLoneBreak(begin, begin, end);
    return p == end ? std::string_view::npos : static_cast<std::size_t>(p - begin);
}

void AppendUnifiedBreaks(std::string_view text, std::size_t from, std::string& out,
                         bool finalBreak) {
    // Room for the worst case, every byte a lone break; a large buffer's pages that
    // are never written are never touched, so the room costs nothing.
    ReserveBuffer(out, out.size() + from + 2 * (text.size() - from) + 2);
    // Stretches up to the next lone break are copied whole; CR LF pairs stay as they are.
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* chunk = begin;
    for (const char* p = FindLoneBreak(begin, begin + from, end); p != end;
         p = FindLoneBreak(begin, p, end)) {
        out.append(chunk, static_cast<std::size_t>(p - chunk));
        out.append("\r\n", 2);
        chunk = ++p;
    }
    out.append(chunk, static_cast<std::size_t>(end - chunk));
    if (finalBreak && !text.empty() && text.back() != '\n' && text.back() != '\r')
        out.append("\r\n", 2);
}

LineFigures MeasureLines(std::string_view text) {
    LineFigures f;
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* p = FindLoneBreak(begin, begin, end); p != end;
         p = FindLoneBreak(begin, p + 1, end))
        ++f.loneBreaks;
    f.endsWithBreak = !text.empty() && (text.back() == '\r' || text.back() == '\n');
    f.joinedLength = text.size() + f.loneBreaks + (text.empty() || f.endsWithBreak ? 0 : 2);
    return f;
}

LineBreakStyle FirstBreakStyle(std::string_view text) {
    const char* const end = text.data() + text.size();
    const char* const brk = FindLineBreak(text.data(), end);
    return brk != end && *brk == '\r' ? LineBreakStyle::CrLf : LineBreakStyle::Lf;
}

std::size_t CopyWithLfBreaks(std::string_view text, char* out) {
    const char* p = text.data();
    const char* const end = p + text.size();
    char* o = out;
#if defined(__SSE2__)
    // Sixteen bytes at a time are copied whole, and the output moves on to the
    // first CR among them, which becomes the LF (a CR LF keeps only its LF). The
    // output never runs ahead of the input, so each store stays in its room.
    const __m128i cr = _mm_set1_epi8('\r');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), v);
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(v, cr));
        if (mask == 0) {
            p += 16;
            o += 16;
            continue;
        }
        const int at = __builtin_ctz(static_cast<unsigned>(mask));
        o += at;
        *o++ = '\n';
        p += at + 1;
        if (p != end && *p == '\n')
            ++p;
    }
#endif
    while (p != end) {
        const char c = *p++;
        if (c == '\r') {
            *o++ = '\n';
            if (p != end && *p == '\n')
                ++p;
        } else {
            *o++ = c;
        }
    }
    return static_cast<std::size_t>(o - out);
}

void AppendInStyle(std::string_view text, LineBreakStyle style, std::string& out) {
    if (style != LineBreakStyle::Lf) {
        AppendUnifiedBreaks(text, 0, out);
        return;
    }
    const std::size_t at = out.size();
    ReserveBuffer(out, at + text.size());
    out.resize(at + text.size());
    out.resize(at + CopyWithLfBreaks(text, out.data() + at));
}

void LineCounter::Feed(std::string_view bytes) {
    if (bytes.empty())
        return;
    // Every CR is a break, and every LF that does not follow a CR.
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    breaks_ += *p == '\r' || (*p == '\n' && last_ != '\r');
    ++p;
#if defined(__SSE2__)
    // Sixteen bytes at a time, with the byte before them in reach; each lane
    // counts its breaks for up to 255 steps, then the lanes are summed.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        __m128i counts = _mm_setzero_si128();
        for (int step = 0; step < 255 && end - p >= 16; ++step, p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 1));
            const __m128i lfAlone =
                _mm_andnot_si128(_mm_cmpeq_epi8(before, cr), _mm_cmpeq_epi8(v, lf));
            // A match is -1 in its lane.
            counts = _mm_sub_epi8(counts, _mm_or_si128(_mm_cmpeq_epi8(v, cr), lfAlone));
        }
        const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
        breaks_ += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                   static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
    }
#endif
    for (; p != end; ++p)
        breaks_ += *p == '\r' || (*p == '\n' && p[-1] != '\r');
    last_ = end[-1];
    any_ = true;
}
