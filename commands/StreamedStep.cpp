#include "commands/StreamedStep.h"

StreamedStep::StreamedStep(const FileStep& step, const Sink& sink, std::size_t limit)
    : keep_(step.breaks == LineBreakStyle::Keep), lf_(step.breaks == LineBreakStyle::Lf),
      direct_(step.optimize && step.optimizeOptions.keepPre), compare_(step.compare), sink_(sink) {
    if (direct_) {
        optimizer_.emplace(sink, limit, step.optimizeOptions);
        if (lf_)
            optimizer_->SetBreaks(LineBreakStyle::Lf);
        return;
    }
    // With CR LF the editors' bytes go straight out; with LF through the sink
    // that writes the breaks, and that sees what is written. Keeping the file's
    // own style, they go out as they come until the first break read decides it.
    Sink out = sink;
    if (lf_)
        styled_.emplace([this](std::string_view bytes) { Written(bytes); }, LineBreakStyle::Lf);
    if (lf_ || keep_)
        out = [this](std::string_view bytes) {
            Edited(bytes);
        };
    // The optimizer works line by line; a replacement as a stream that may reach
    // across lines.
    if (step.optimize)
        optimizer_.emplace(out, limit, step.optimizeOptions);
    else
        replacer_.emplace(step.change.pattern, step.change.replacement, step.change.caseSensitive,
                          out, limit);
}

void StreamedStep::Decide(LineBreakStyle style) {
    keep_ = false;
    lf_ = style == LineBreakStyle::Lf;
    if (direct_) {
        optimizer_->SetBreaks(style);
        return;
    }
    if (lf_) {
        styled_.emplace([this](std::string_view bytes) { Written(bytes); }, LineBreakStyle::Lf);
        if (!held_.empty())
            styled_->Feed(held_);
    } else if (!held_.empty()) {
        sink_(held_);
    }
    std::string().swap(held_);
}

void StreamedStep::Feed(std::string_view bytes) {
    if (keep_) {
        // The file's first line break, read before the editors see it, so that
        // every break they give out is written in its style.
        const char* const end = bytes.data() + bytes.size();
        const char* const brk = FindLineBreak(bytes.data(), end);
        if (brk != end)
            Decide(*brk == '\r' ? LineBreakStyle::CrLf : LineBreakStyle::Lf);
    }
    if ((lf_ || keep_) && !direct_) {
        lines_.Feed(bytes);
        if (compare_)
            comparison_.Read(bytes);
    }
    if (optimizer_)
        optimizer_->Feed(bytes);
    else
        replacer_->Feed(bytes);
}

const PieceFigures& StreamedStep::Finish() {
    if (keep_)
        Decide(LineBreakStyle::Lf); // a text without a break
    figures_ = optimizer_ ? optimizer_->Finish() : replacer_->Finish();
    if (!lf_)
        return figures_;
    if (direct_) {
        figures_.changed = compare_ && figures_.changed;
        return figures_;
    }
    styled_->Finish();
    // Every line of the text read, and of the text written, had a CR LF.
    figures_.before -= lines_.Lines();
    figures_.after = written_;
    figures_.changed = compare_ && comparison_.Differ();
    return figures_;
}

void StreamedStep::Edited(std::string_view bytes) {
    if (lf_) {
        styled_->Feed(bytes);
        return;
    }
    if (!keep_) {
        sink_(bytes);
        return;
    }
    // No break read yet: only a replacement's own break can be here, and it waits
    // for the file's style. The bytes before it are the same in either style.
    if (held_.empty()) {
        const char* const end = bytes.data() + bytes.size();
        const char* const brk = FindLineBreak(bytes.data(), end);
        const auto plain = static_cast<std::size_t>(brk - bytes.data());
        if (plain != 0)
            Written(bytes.substr(0, plain));
        bytes.remove_prefix(plain);
    }
    held_.append(bytes);
}

void StreamedStep::Written(std::string_view bytes) {
    written_ += bytes.size();
    if (compare_)
        comparison_.Written(bytes);
    sink_(bytes);
}
