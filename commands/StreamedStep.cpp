#include "commands/StreamedStep.h"

StreamedStep::StreamedStep(const FileStep& step, const Sink& sink, std::size_t limit)
    : lf_(step.breaks == LineBreakStyle::Lf), sink_(sink) {
    // With CR LF the editors' bytes go straight out; with LF through the sink
    // that writes the breaks, and that sees what is written.
    Sink out = sink;
    if (lf_) {
        styled_.emplace([this](std::string_view bytes) { Written(bytes); }, step.breaks);
        out = [this](std::string_view bytes) {
            styled_->Feed(bytes);
        };
    }
    // The optimizer works line by line; a replacement as a stream that may reach
    // across lines.
    if (step.optimize)
        optimizer_.emplace(out, limit, step.optimizeOptions);
    else
        replacer_.emplace(step.change.pattern, step.change.replacement, step.change.caseSensitive,
                          out, limit);
}

void StreamedStep::Feed(std::string_view bytes) {
    if (lf_) {
        lines_.Feed(bytes);
        comparison_.Read(bytes);
    }
    if (optimizer_)
        optimizer_->Feed(bytes);
    else
        replacer_->Feed(bytes);
}

const PieceFigures& StreamedStep::Finish() {
    figures_ = optimizer_ ? optimizer_->Finish() : replacer_->Finish();
    if (!lf_)
        return figures_;
    styled_->Finish();
    // Every line of the text read, and of the text written, had a CR LF.
    figures_.before -= lines_.Lines();
    figures_.after = styled_->Written();
    figures_.changed = comparison_.Differ();
    return figures_;
}

void StreamedStep::Written(std::string_view bytes) {
    comparison_.Written(bytes);
    sink_(bytes);
}
