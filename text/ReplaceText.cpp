#include "text/ReplaceText.h"

#include "platform/FileIO.h"
#include "text/UpperCase.h"

#include <algorithm>
#include <cstring>

namespace {

// Size of the upper-cased stretch the case-insensitive search looks at at a time:
// small enough to stay in the processor's cache.
constexpr std::size_t FoldWindow = std::size_t{64} << 10;

inline bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Builds the result: the text between matches as it is, the replacement for each.
class Builder {
public:
    Builder(std::string_view text, std::string_view pattern, std::string_view replacement)
        : text_(text), patternSize_(pattern.size()), replacement_(replacement),
          checkStart_(!pattern.empty() && IsContinuationByte(pattern.front())) {}

    // False when a match at k must be passed over: it would begin inside a character.
    bool Acceptable(std::size_t k) const { return !checkStart_ || !InsideUtf8Character(text_, k); }

    void Match(std::size_t k) {
        if (!started_) {
            // Sized for the usual case; it grows when replacements make it longer.
            std::size_t size = text_.size();
            if (replacement_.size() > patternSize_)
                size += size / 8;
            ReserveBuffer(result_, size);
            started_ = true;
        }
        result_.append(text_.data() + copied_, k - copied_);
        result_.append(replacement_);
        copied_ = k + patternSize_;
    }

    std::string Finish() {
        if (!started_)
            return std::string(text_);
        result_.append(text_.data() + copied_, text_.size() - copied_);
        return std::move(result_);
    }

private:
    std::string_view text_;
    std::size_t patternSize_;
    std::string_view replacement_;
    bool checkStart_;
    bool started_ = false;
    std::size_t copied_ = 0;
    std::string result_;
};

const char* Find(const char* from, const char* end, std::string_view pattern) {
    const auto n = static_cast<std::size_t>(end - from);
    if (n < pattern.size())
        return nullptr;
    return static_cast<const char*>(::memmem(from, n, pattern.data(), pattern.size()));
}

void ReplaceExact(std::string_view text, std::string_view pattern, Builder& out) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* p = begin; const char* hit = Find(p, end, pattern);) {
        const auto k = static_cast<std::size_t>(hit - begin);
        if (!out.Acceptable(k)) {
            p = hit + 1;
            continue;
        }
        out.Match(k);
        p = hit + pattern.size();
    }
}

// The search on the upper-cased copies, made a window at a time. A window is cut
// only where no character straddles the cut, so its upper-cased bytes are exactly
// those of the whole upper-cased text.
void ReplaceFolded(std::string_view text, std::string_view pattern, Builder& out) {
    const std::string folded = UpperCase(pattern);
    const std::size_t m = folded.size();
    const std::size_t n = text.size();
    // An ASCII pattern can only match ASCII bytes, whose upper case is theirs alone:
    // the windows then need only a-z folded and may be cut anywhere.
    const bool ascii = std::all_of(folded.begin(), folded.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    const std::size_t span = std::max(FoldWindow, 4 * m);
    std::string window(span + 4, '\0');
    std::size_t wa = 0; // the window holds text[wa, we) upper-cased
    std::size_t we = 0;
    std::size_t pos = 0; // next possible match start
    while (pos + m <= n) {
        if (pos + m > we) {
            wa = pos;
            we = std::min(n, wa + span);
            if (ascii) {
                AsciiUpperCaseInto(text.data() + wa, we - wa, window.data());
            } else {
                while (wa > 0 && InsideUtf8Character(text, wa))
                    --wa;
                while (we < n && InsideUtf8Character(text, we))
                    ++we;
                UpperCaseInto(text.data() + wa, we - wa, window.data());
            }
        }
        const char* const wbegin = window.data();
        const char* hit = Find(wbegin + (pos - wa), wbegin + (we - wa), folded);
        if (hit == nullptr) {
            if (we == n)
                break;
            pos = we - m + 1;
            continue;
        }
        const std::size_t k = wa + static_cast<std::size_t>(hit - wbegin);
        if (!out.Acceptable(k)) {
            pos = k + 1;
            continue;
        }
        out.Match(k);
        pos = k + m;
    }
}

} // namespace

std::string ReplaceText(std::string_view text, std::string_view pattern,
                        std::string_view replacement, bool caseSensitive) {
    Builder out(text, pattern, replacement);
    if (!pattern.empty() && pattern.size() <= text.size()) {
        if (caseSensitive)
            ReplaceExact(text, pattern, out);
        else
            ReplaceFolded(text, pattern, out);
    }
    return out.Finish();
}
