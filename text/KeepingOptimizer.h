#pragma once
// The optimizer with kept blocks (KeptBlocks.h), over a text that arrives a piece
// at a time or whole. The line rules apply outside the blocks as they do without
// them; a block is text no rule looks into, in the line(s) it sits in:
//   "  a   <pre>x\r\n  y</pre>   b  "  ->  "a <pre>x\r\n  y</pre> b"
// Blanks before a block on its line go when nothing comes before them, runs of
// blanks beside it shrink to their last character, blanks after it at the end
// of its line go; the lines inside a block stay as they are, blank ones too; a
// line of nothing but blanks outside any block is dropped.
//
// Nothing is held back but a few bytes of state (a blank, a tag's progress), so
// the output for the bytes fed is given at once.

#include "text/KeptBlocks.h"

#include <cstddef>

class KeepingOptimizer {
public:
    // linked: the sheets the page links (nullptr: none are read).
    explicit KeepingOptimizer(LinkedStyleSheets* linked = nullptr) : finder_(linked) {}

    // Optimizes src[0, len), the next bytes of a text whose line breaks are CR LF,
    // into dst; returns the bytes written. The text's last line ends with its CR LF.
    // dst has room for len + MoreBytes: a blank held back from the bytes before, and
    // a CR LF whose LF is still to come, may be written too. A whole text given at
    // once is never longer for it, so dst may then equal or precede src.
    std::size_t Run(const char* src, std::size_t len, char* dst);
    static constexpr std::size_t MoreBytes = 2;
    // No "<pre>" element is ever written outside a kept block, so nothing looks
    // for one: "<pre>" between tags starts a block wherever it stands, and the
    // line rules take blanks away only at a line's ends or from a run that keeps
    // one of them, so they never bring five bytes together into a new "<pre>".

private:
    std::size_t Outside(const char* p, const char* stop, char* dst, std::size_t w);
    std::size_t LinePart(const char* p, std::size_t n, char* dst, std::size_t w);

    BlockFinder finder_;
    bool lineHasText_ = false; // the line so far holds text or a block
    char heldBlank_ = '\0';    // the last blank of a run after text, not yet written
    bool skipLf_ = false;      // a CR ended the last bytes: the LF that follows is its
};
