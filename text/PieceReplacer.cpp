#include "text/PieceReplacer.h"

#include <algorithm>
#include <cstring>
#include <utility>

PieceReplacer::PieceReplacer(std::string_view pattern, std::string_view replacement,
                             bool caseSensitive, Sink sink, std::size_t limit,
                             std::size_t blockBytes)
    : sink_(std::move(sink)), limit_(limit), breaks_(!ReplacementKeepsLines(pattern, replacement)),
      replace_(
          pattern, replacement, caseSensitive,
          [this](std::string_view replaced) { Refill(replaced); }, blockBytes) {}

void PieceReplacer::Feed(std::string_view bytes) {
    unified_.clear();
    read_.Feed(bytes, unified_);
    Replace(unified_);
}

const PieceFigures& PieceReplacer::Finish() {
    unified_.clear();
    read_.Finish(unified_);
    Replace(unified_);
    replace_.Finish();

    refilled_.clear();
    split_.Finish(refilled_);
    // AssignLines gives a last line without a break its CR LF.
    if (anyReplaced_ && lastReplaced_ != '\r' && lastReplaced_ != '\n')
        refilled_.append("\r\n", 2);
    Give(refilled_);

    // JoinedText gives a last line its CR LF too.
    const bool lastLineOpen = unifiedBytes_ > 0 && lastUnified_ != '\n';
    figures_.before = unifiedBytes_ + (lastLineOpen ? 2 : 0);
    // With no lone break, the unified text is the bytes read. Without line breaks
    // in the pattern and the replacement, the result is the replaced text with
    // its last line's break, and differs exactly where a replacement changed it.
    figures_.changed = read_.SawLoneBreak() ||
                       (breaks_ ? comparison_.Differ() : replace_.Changed() || lastLineOpen);
    return figures_;
}

void PieceReplacer::Replace(std::string_view unified) {
    if (unified.empty())
        return;
    unifiedBytes_ += unified.size();
    lastUnified_ = unified.back();
    if (breaks_)
        comparison_.Read(unified);
    replace_.Feed(unified);
}

void PieceReplacer::Refill(std::string_view replaced) {
    if (replaced.empty())
        return;
    anyReplaced_ = true;
    lastReplaced_ = replaced.back();
    if (!breaks_) {
        // Every break of the text read is CR LF, and no match reaches into one.
        Give(replaced);
        return;
    }
    refilled_.clear();
    split_.Feed(replaced, refilled_);
    Give(refilled_);
}

void PieceReplacer::Give(std::string_view bytes) {
    if (bytes.empty())
        return;
    if (bytes.size() > limit_ - figures_.after) // figures_.after never passes limit_
        throw CharLimitError();
    figures_.after += bytes.size();
    if (breaks_)
        comparison_.Written(bytes);
    sink_(bytes);
}

bool ReplacementKeepsLines(std::string_view pattern, std::string_view replacement) {
    const auto breakFree = [](std::string_view s) {
        return s.find_first_of("\r\n") == std::string_view::npos;
    };
    return breakFree(pattern) && breakFree(replacement);
}
