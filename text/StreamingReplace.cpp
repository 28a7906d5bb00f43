#include "text/StreamingReplace.h"

#include "text/UpperCase.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// How far a character's bytes reach on either side of one of them.
constexpr std::size_t Context = 3;

inline bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

StreamingReplace::StreamingReplace(std::string_view pattern, std::string_view replacement,
                                   bool caseSensitive, Sink sink, std::size_t flushBytes)
    : pattern_(caseSensitive ? std::string(pattern) : UpperCase(pattern)),
      replacement_(replacement), caseSensitive_(caseSensitive),
      asciiPattern_(std::all_of(pattern_.begin(), pattern_.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x80; })),
      checkStart_(!pattern.empty() && IsContinuationByte(pattern.front())), sink_(std::move(sink)),
      flushBytes_(std::max<std::size_t>(flushBytes, 1)) {}

void StreamingReplace::Feed(std::string_view bytes) {
    if (bytes.empty())
        return;
    held_.append(bytes);
    Search(false);
}

void StreamingReplace::Finish() {
    Search(true);
}

// Upper-cases held_ up to end, as ReplaceText's search sees the whole text: from
// the start of a character (a character cut at the end is folded again later).
void StreamingReplace::Fold(std::size_t end) {
    folded_.resize(held_.size());
    std::size_t from = foldedTo_;
    if (asciiPattern_) {
        AsciiUpperCaseInto(held_.data() + from, end - from, folded_.data() + from);
    } else {
        while (from > 0 && InsideUtf8Character(held_, from))
            --from;
        UpperCaseInto(held_.data() + from, end - from, folded_.data() + from);
    }
}

void StreamingReplace::Search(bool atEnd) {
    const std::size_t n = held_.size();
    const std::size_t m = pattern_.size();
    // A match must end where the bytes after it are known: they decide the case
    // of its last character and whether a continuation byte starts a character.
    const std::size_t settled = atEnd ? n : n - std::min(n, Context);
    if (m > 0) {
        if (!caseSensitive_) {
            Fold(n);
            foldedTo_ = settled;
        }
        const char* const hay = caseSensitive_ ? held_.data() : folded_.data();
        while (next_ + m <= settled) {
            const void* hit = ::memmem(hay + next_, settled - next_, pattern_.data(), m);
            if (hit == nullptr) {
                next_ = settled - m + 1;
                break;
            }
            const auto k = static_cast<std::size_t>(static_cast<const char*>(hit) - hay);
            if (checkStart_ && InsideUtf8Character(held_, k)) {
                next_ = k + 1;
                continue;
            }
            Emit(std::string_view(held_).substr(emitted_, k - emitted_));
            Emit(replacement_);
            if (!changed_ && (replacement_.size() != m ||
                              std::memcmp(held_.data() + k, replacement_.data(), m) != 0))
                changed_ = true;
            emitted_ = next_ = k + m;
        }
    }
    // No match can start before next_ any more.
    const std::size_t done = atEnd || m == 0 ? n : std::min(next_, settled);
    Emit(std::string_view(held_).substr(emitted_, done - emitted_));
    emitted_ = done;
    next_ = std::max(next_, done);
    Flush();

    const std::size_t drop = emitted_ - std::min(emitted_, Context);
    if (drop > 0) {
        held_.erase(0, drop);
        if (!caseSensitive_)
            folded_.erase(0, std::min(drop, folded_.size()));
        emitted_ -= drop;
        next_ -= drop;
        foldedTo_ -= std::min(foldedTo_, drop);
    }
}

void StreamingReplace::Emit(std::string_view bytes) {
    out_.append(bytes);
    if (out_.size() >= flushBytes_)
        Flush();
}

void StreamingReplace::Flush() {
    if (out_.empty())
        return;
    sink_(out_);
    out_.clear();
}
