#include "text/PieceEditor.h"

#include "text/LineBreaks.h"
#include "text/Optimizer.h"
#include "text/TextDocument.h"

#include <cstring>
#include <utility>

PieceEditor::PieceEditor(LineEdit edit, Sink sink, std::size_t limit, bool lookForPre,
                         bool breakAfterEdit, std::size_t blockBytes)
    : edit_(std::move(edit)), sink_(std::move(sink)), limit_(limit), blockBytes_(blockBytes),
      lookForPre_(lookForPre), breakAfterEdit_(breakAfterEdit) {}

void PieceEditor::Feed(std::string_view bytes) {
    if (bytes.empty())
        return;
    const std::size_t old = pending_.size();
    std::size_t fed = bytes.size();
    if (crHeld_) {
        // The CR held back from the last piece: CR LF, or a lone CR made CR LF.
        crHeld_ = false;
        pending_.append("\r\n", 2);
        if (bytes.front() == '\n')
            bytes.remove_prefix(1);
        ++fed; // the CR is counted now
    }
    if (!bytes.empty() && bytes.back() == '\r') {
        // Whether it is a lone CR shows only with the next byte.
        crHeld_ = true;
        bytes.remove_suffix(1);
        --fed;
    }
    const std::size_t lone = FirstLoneBreak(bytes);
    if (lone == std::string_view::npos)
        pending_.append(bytes);
    else
        AppendUnifiedBreaks(bytes, lone, pending_);
    // Each lone break has grown by one byte.
    if (pending_.size() - old != fed)
        loneBreaks_ = true;
    unified_ += pending_.size() - old;

    // Only the new bytes are looked at: one very long line costs no rescans.
    if (const void* lf = ::memrchr(pending_.data() + old, '\n', pending_.size() - old))
        lastLf_ = static_cast<std::size_t>(static_cast<const char*>(lf) - pending_.data());
    if (pending_.size() >= blockBytes_ && lastLf_ != std::string::npos)
        EditLines(lastLf_ + 1);
}

const PieceFigures& PieceEditor::Finish() {
    if (crHeld_) {
        crHeld_ = false;
        pending_.append("\r\n", 2);
        unified_ += 2;
        loneBreaks_ = true;
    }
    const bool endsWithBreak = !pending_.empty() ? pending_.back() == '\n' : unified_ > 0;
    figures_.before = unified_ + (unified_ == 0 || endsWithBreak ? 0 : 2);
    if (!endsWithBreak && !pending_.empty() && !breakAfterEdit_) {
        pending_.append("\r\n", 2);
        figures_.changed = true;
    }
    if (!endsWithBreak && breakAfterEdit_ && lastLf_ != std::string::npos)
        EditLines(lastLf_ + 1); // the whole lines first: the last one alone
    EditLines(pending_.size(), !endsWithBreak);
    if (loneBreaks_)
        figures_.changed = true;
    return figures_;
}

void PieceEditor::EditLines(std::size_t count, bool lastLine) {
    if (count == 0)
        return;
    const std::string_view lines(pending_.data(), count);
    out_.clear();
    edit_(lines, out_);
    // The refill gives a last line that is left its break.
    if (lastLine && breakAfterEdit_ && !out_.empty())
        out_.append("\r\n", 2);
    if (out_.size() > limit_ - figures_.after) // figures_.after never passes limit_
        TextDocument::FailInsertion();
    figures_.after += out_.size();
    if (!figures_.changed && out_ != lines)
        figures_.changed = true;
    if (lookForPre_ && !figures_.hasPre && ContainsPreTag(out_))
        figures_.hasPre = true;
    sink_(out_);
    pending_.erase(0, count);
    lastLf_ = std::string::npos; // what is left holds no whole line
}

bool ReplacementKeepsLines(std::string_view pattern, std::string_view replacement) {
    const auto breakFree = [](std::string_view s) {
        return s.find_first_of("\r\n") == std::string_view::npos;
    };
    return breakFree(pattern) && breakFree(replacement);
}
