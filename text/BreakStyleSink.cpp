#include "text/BreakStyleSink.h"

#include <utility>

BreakStyleSink::BreakStyleSink(Sink sink, LineBreakStyle style)
    : sink_(std::move(sink)), style_(style) {}

void BreakStyleSink::Feed(std::string_view bytes) {
    if (bytes.empty())
        return;
    if (style_ != LineBreakStyle::Lf) {
        Give(bytes);
        return;
    }
    // The room is kept from piece to piece; only its written part goes out.
    if (out_.size() < bytes.size() + 1)
        out_.resize(bytes.size() + 1);
    std::size_t n = 0;
    if (crHeld_) {
        // The held CR is the break: its LF, if it comes now, goes with it.
        crHeld_ = false;
        out_[n++] = '\n';
        if (bytes.front() == '\n')
            bytes.remove_prefix(1);
    }
    if (!bytes.empty() && bytes.back() == '\r') {
        crHeld_ = true;
        bytes.remove_suffix(1);
    }
    n += CopyWithLfBreaks(bytes, out_.data() + n);
    Give(std::string_view(out_.data(), n));
}

void BreakStyleSink::Finish() {
    if (!crHeld_)
        return;
    crHeld_ = false;
    Give("\n");
}

void BreakStyleSink::Give(std::string_view bytes) {
    if (bytes.empty())
        return;
    written_ += bytes.size();
    sink_(bytes);
}
