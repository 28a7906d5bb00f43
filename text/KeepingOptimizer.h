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
// The text may hold any line breaks (CR LF, lone CR, lone LF); every break is
// written in the chosen style, inside blocks too, so that the bytes are those
// of the text with its breaks made CR LF first and written in that style last,
// without a pass of their own over the bytes.
//
// Nothing is held back but a few bytes of state (a blank, a tag's progress), so
// the output for the bytes fed is given at once.

#include "text/KeptBlocks.h"
#include "text/LineBreaks.h"

#include <cstddef>

class KeepingOptimizer {
public:
    // linked: the sheets the page links (nullptr: none are read).
    explicit KeepingOptimizer(LinkedStyleSheets* linked = nullptr) : finder_(linked) {}

    // The break written for every line break: CrLf (the default) or Lf. Set before
    // the first break is fed.
    void SetBreaks(LineBreakStyle style) { lf_ = style == LineBreakStyle::Lf; }

    // Optimizes src[0, len), the next bytes of the text, into dst; returns the bytes
    // written. The text's last line ends with a break. dst has room for
    // Room(len): a lone break may become CR LF, a blank held back from the bytes
    // before and a break whose LF is still to come may be written too. A whole
    // text with CR LF breaks given at once, written with CR LF, is never longer
    // for it, so dst may then equal or precede src.
    std::size_t Run(const char* src, std::size_t len, char* dst);
    static constexpr std::size_t MoreBytes = 2;
    static constexpr std::size_t Room(std::size_t len) { return 2 * len + MoreBytes; }
    // No "<pre>" element is ever written outside a kept block, so nothing looks
    // for one: "<pre>" between tags starts a block wherever it stands, and the
    // line rules take blanks away only at a line's ends or from a run that keeps
    // one of them, so they never bring five bytes together into a new "<pre>".

    // The line breaks of the bytes fed so far, and those written. A CR that ends
    // the bytes fed counts once the next byte shows what it is (End: a lone CR).
    // Writing CR LF, a kept stretch's CR LFs are passed over: crLf and written
    // are counted only when LF is written.
    struct Breaks {
        std::size_t crLf = 0;
        std::size_t loneCr = 0;
        std::size_t loneLf = 0;
        std::size_t written = 0;
        std::size_t Lone() const { return loneCr + loneLf; }
    };
    const Breaks& BreaksSoFar() const { return breaks_; }
    // The end of the text: a CR held at the end of the bytes fed is a lone CR.
    void End();

private:
    std::size_t Outside(const char* p, const char* stop, char* dst, std::size_t w);
    std::size_t LinePart(const char* p, std::size_t n, char* dst, std::size_t w);
    std::size_t Kept(const char* p, const char* stop, char* dst, std::size_t w);
    // A CR ended the bytes before: the first byte tells whether it was a CR LF.
    const char* AfterHeldCr(const char* p);

    BlockFinder finder_;
    Breaks breaks_;
    bool lf_ = false;          // LF is written for every break, else CR LF
    bool lineHasText_ = false; // the line so far holds text or a block
    char heldBlank_ = '\0';    // the last blank of a run after text, not yet written
    bool skipLf_ = false;      // a CR ended the last bytes: the LF that follows is its
};
