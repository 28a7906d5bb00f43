#pragma once
// Passes on text whose line breaks are CR LF, a piece at a time, with every
// break written in a chosen style. A CR at the end of a piece is held back until
// the next piece shows whether its LF follows.

#include "text/LineBreaks.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class BreakStyleSink {
public:
    using Sink = std::function<void(std::string_view)>;

    BreakStyleSink(Sink sink, LineBreakStyle style);

    void Feed(std::string_view bytes);
    // The end of the text: a CR held back is a break of its own.
    void Finish();
    // The bytes given out so far.
    std::size_t Written() const { return written_; }

private:
    void Give(std::string_view bytes);

    Sink sink_;
    LineBreakStyle style_;
    bool crHeld_ = false;
    std::string out_;
    std::size_t written_ = 0;
};
