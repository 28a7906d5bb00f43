#include "text/LineBreaks.h"

#include "platform/FileIO.h"

#include <cstring>

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

std::size_t FirstLoneBreak(std::string_view text) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* p = FindLineBreak(begin, end); p != end; p = FindLineBreak(p, end)) {
        if (*p == '\n' || p + 1 == end || p[1] != '\n')
            return static_cast<std::size_t>(p - begin);
        p += 2;
    }
    return std::string_view::npos;
}

void AppendUnifiedBreaks(std::string_view text, std::size_t from, std::string& out,
                         bool finalBreak) {
    // Room for the worst case, every byte a lone break; a large buffer's pages that
    // are never written are never touched, so the room costs nothing.
    ReserveBuffer(out, out.size() + from + 2 * (text.size() - from) + 2);
    out.append(text.data(), from);
    // Stretches up to the next lone break are copied whole; CR LF pairs stay as they are.
    const char* const end = text.data() + text.size();
    const char* chunk = text.data() + from;
    for (const char* p = FindLineBreak(chunk, end); p != end; p = FindLineBreak(p, end)) {
        if (*p == '\r' && p + 1 != end && p[1] == '\n') {
            p += 2;
            continue;
        }
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
    for (const char* p = FindLineBreak(begin, end); p != end; p = FindLineBreak(p, end)) {
        if (*p == '\r' && p + 1 != end && p[1] == '\n') {
            p += 2;
        } else {
            ++f.loneBreaks;
            ++p;
        }
    }
    f.endsWithBreak = !text.empty() && (text.back() == '\r' || text.back() == '\n');
    f.joinedLength = text.size() + f.loneBreaks + (text.empty() || f.endsWithBreak ? 0 : 2);
    return f;
}
