#include "commands/StreamedStep.h"

StreamedStep::StreamedStep(const FileStep& step, const Sink& sink, std::size_t limit) {
    // The optimizer works line by line; a replacement as a stream that may reach
    // across lines.
    if (step.optimize)
        optimizer_.emplace(sink, limit);
    else
        replacer_.emplace(step.change.pattern, step.change.replacement, step.change.caseSensitive,
                          sink, limit);
}

void StreamedStep::Feed(std::string_view bytes) {
    if (optimizer_)
        optimizer_->Feed(bytes);
    else
        replacer_->Feed(bytes);
}

const PieceFigures& StreamedStep::Finish() {
    return optimizer_ ? optimizer_->Finish() : replacer_->Finish();
}
