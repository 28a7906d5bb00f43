#pragma once
// A replacement over a file worked a piece at a time, for any pattern and
// replacement, line breaks in them included. The bytes given out are exactly
// those of the window's whole-text steps: ReadFromFile (every line break made
// CR LF), ReplaceText over the whole text, SetWholeText, then AssignLines (the
// result split again at every CR LF, lone CR and lone LF, each line ending in
// CR LF, the last included) and WriteToFile; with the same figures, and the
// refill's character limit.

#include "text/BreakUnifier.h"
#include "text/PieceEditor.h"
#include "text/StreamComparison.h"
#include "text/StreamingReplace.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class PieceReplacer {
public:
    using Sink = std::function<void(std::string_view)>;

    // limit: the character limit of the refill; passing it throws CharLimitError.
    // blockBytes: about how much is given out at a time.
    PieceReplacer(std::string_view pattern, std::string_view replacement, bool caseSensitive,
                  Sink sink, std::size_t limit,
                  std::size_t blockBytes = StreamingReplace::FlushBytes);
    PieceReplacer(const PieceReplacer&) = delete;
    PieceReplacer& operator=(const PieceReplacer&) = delete;

    // The file's next bytes, as read.
    void Feed(std::string_view bytes);
    // The end of the file: the rest is replaced and given out.
    const PieceFigures& Finish();

private:
    void Replace(std::string_view unified);
    void Refill(std::string_view replaced);
    void Give(std::string_view bytes);

    Sink sink_;
    std::size_t limit_;
    // The pattern or the replacement holds a CR or LF: the result must be split
    // again, and may equal the text read although a match changed something.
    bool breaks_;
    PieceFigures figures_;
    BreakUnifier read_;  // the file's breaks, as ReadFromFile makes them
    BreakUnifier split_; // the result's breaks, as AssignLines splits lines
    StreamingReplace replace_;
    StreamComparison comparison_; // the unified text read and the text given out
    std::string unified_;
    std::string refilled_;
    std::size_t unifiedBytes_ = 0;
    char lastUnified_ = '\0';
    char lastReplaced_ = '\0';
    bool anyReplaced_ = false;
};

// True when a replacement of pattern by replacement works within lines: neither
// holds a CR or LF.
bool ReplacementKeepsLines(std::string_view pattern, std::string_view replacement);
