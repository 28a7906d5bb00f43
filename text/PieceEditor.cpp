#include "text/PieceEditor.h"

#include "text/Optimizer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

PieceEditor::PieceEditor(Sink sink, std::size_t limit, const OptimizeOptions& options,
                         std::size_t blockBytes)
    : sink_(std::move(sink)), limit_(limit), blockBytes_(std::max<std::size_t>(blockBytes, 1)),
      options_(options), keeping_(options.styleSheets) {}

void PieceEditor::SetBreaks(LineBreakStyle style) {
    lf_ = style == LineBreakStyle::Lf;
    keeping_.SetBreaks(style);
}

void PieceEditor::Feed(std::string_view bytes) {
    if (options_.keepPre) {
        FeedKeeping(bytes);
        return;
    }
    const std::size_t old = pending_.size();
    unifier_.Feed(bytes, pending_);
    if (pending_.size() == old)
        return;
    unified_ += pending_.size() - old;
    lastUnified_ = pending_.back();
    Work(false);
}

const PieceFigures& PieceEditor::Finish() {
    if (options_.keepPre)
        return FinishKeeping();
    const std::size_t old = pending_.size();
    unifier_.Finish(pending_);
    if (pending_.size() != old) {
        unified_ += pending_.size() - old;
        lastUnified_ = pending_.back();
    }
    const bool lastLineOpen = unified_ > 0 && lastUnified_ != '\n';
    figures_.before = unified_ + (lastLineOpen ? 2 : 0);
    if (lastLineOpen) {
        // The optimizer's way: the last line gets its break before it is optimized.
        pending_.append("\r\n", 2);
        figures_.changed = true;
    }
    Work(true);
    // Optimizing only takes bytes away: the same length is the same text.
    if (unifier_.SawLoneBreak() || figures_.after != unified_)
        figures_.changed = true;
    return figures_;
}

// Optimizes what pending_ holds once there is a block of it (everything at the end).
void PieceEditor::Work(bool atEnd) {
    if (!atEnd && pending_.size() < blockBytes_)
        return;
    if (inLongLine_) {
        const void* lf = std::memchr(pending_.data(), '\n', pending_.size());
        if (lf == nullptr) {
            EditLongLine(pending_.size(), false);
            return;
        }
        // Its end: the part up to the CR LF, which goes with it.
        const auto brk = static_cast<std::size_t>(static_cast<const char*>(lf) - pending_.data());
        EditLongLine(brk - 1, true);
        pending_.erase(0, 2);
        if (!atEnd && pending_.size() < blockBytes_)
            return;
    }
    const void* lastLf = ::memrchr(pending_.data(), '\n', pending_.size());
    if (lastLf != nullptr)
        EditLines(static_cast<std::size_t>(static_cast<const char*>(lastLf) - pending_.data()) + 1);
    // What is left is part of one line (nothing at the end, where the last line
    // has its break): a block of it is optimized as far as it can be.
    if (pending_.size() >= blockBytes_) {
        inLongLine_ = true;
        EditLongLine(pending_.size(), false);
    }
}

// The piece as read, its breaks as they come: KeepingOptimizer makes them the
// style written.
void PieceEditor::FeedKeeping(std::string_view bytes) {
    if (bytes.empty())
        return;
    read_ += bytes.size();
    lastRead_ = bytes.back();
    // The buffer only grows: sizing it down and up again for every piece would
    // clear the whole piece's room each time.
    const std::size_t room = KeepingOptimizer::Room(bytes.size());
    if (kept_.size() < room)
        kept_.resize(room);
    const std::size_t breaks = keeping_.BreaksSoFar().written;
    const std::size_t n = keeping_.Run(bytes.data(), bytes.size(), kept_.data());
    // figures_.hasPre stays false: every "<pre>" is a kept block's
    Give({kept_.data(), n}, lf_ ? keeping_.BreaksSoFar().written - breaks : 0);
}

const PieceFigures& PieceEditor::FinishKeeping() {
    keeping_.End();
    const KeepingOptimizer::Breaks read = keeping_.BreaksSoFar();
    // The optimizer's way: the last line gets its break before it is optimized.
    const bool lastLineOpen = read_ > 0 && lastRead_ != '\r' && lastRead_ != '\n';
    if (lastLineOpen) {
        char out[KeepingOptimizer::Room(1)];
        const std::size_t n = keeping_.Run("\n", 1, out);
        Give({out, n}, lf_ ? keeping_.BreaksSoFar().written - read.written : 0);
    }
    // Optimizing only takes bytes away: the same length is the same text, once
    // the breaks are those written (written as LF, the text has no CR left).
    if (lf_) {
        figures_.before = read_ - read.crLf + (lastLineOpen ? 1 : 0);
        figures_.changed = lastLineOpen || read.crLf + read.loneCr != 0 || figures_.after != read_;
    } else {
        figures_.before = read_ + read.Lone() + (lastLineOpen ? 2 : 0);
        figures_.changed =
            lastLineOpen || read.Lone() != 0 || figures_.after != read_ + read.Lone();
    }
    return figures_;
}

void PieceEditor::EditLines(std::size_t count) {
    out_.assign(pending_, 0, count);
    out_.resize(OptimizeLinesInPlace(out_.data(), out_.size()));
    pending_.erase(0, count);
    Give(out_);
}

// Optimizes pending_[0, count), a part of a long line (lineEnds: the line's CR LF
// follows it), as OptimizeLine would the whole line.
void PieceEditor::EditLongLine(std::size_t count, bool lineEnds) {
    const std::string_view part(pending_.data(), count);
    out_.clear();
    std::size_t first = 0; // the first and after the last byte that is no blank
    while (first < part.size() && IsBlank(part[first]))
        ++first;
    std::size_t end = part.size();
    while (end > first && IsBlank(part[end - 1]))
        --end;
    if (first < end) {
        // A run of blanks between text is kept as its last blank.
        if (longLineHasText_ && first > 0)
            out_ += part[first - 1];
        else if (longLineHasText_ && heldBlank_ != '\0')
            out_ += heldBlank_;
        std::string middle;
        OptimizeLine(part.substr(first, end - first), middle);
        out_ += middle;
        longLineHasText_ = true;
        heldBlank_ = '\0';
    }
    if (!part.empty() && IsBlank(part.back()) && longLineHasText_)
        heldBlank_ = part.back();
    if (lineEnds) {
        if (longLineHasText_)
            out_.append("\r\n", 2);
        inLongLine_ = longLineHasText_ = false;
        heldBlank_ = '\0';
    }
    pending_.erase(0, count);
    Give(out_);
}

void PieceEditor::Give(std::string_view out, std::size_t extra) {
    if (out.empty())
        return;
    if (out.size() + extra > limit_ - counted_) // counted_ never passes limit_
        throw CharLimitError();
    counted_ += out.size() + extra;
    figures_.after += out.size();
    if (!options_.keepPre) { // with kept blocks, KeepingOptimizer looks outside them
        if (!figures_.hasPre) {
            // A tag cut between two pieces is found too.
            std::string seam = preTail_;
            seam.append(out.substr(0, 4));
            figures_.hasPre = ContainsPreTag(seam) || ContainsPreTag(out);
        }
        preTail_.append(out.substr(out.size() - std::min<std::size_t>(out.size(), 4)));
        preTail_.erase(0, preTail_.size() - std::min<std::size_t>(preTail_.size(), 4));
    }
    sink_(out);
}
