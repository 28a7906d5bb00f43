#pragma once
// Reading a file, editing its text and "Save All"'s refill before writing it, done
// a piece at a time so that a large file never has to be whole in memory.
//
// The bytes given out are exactly those of the whole-text steps: every line break
// made CR LF (as ReadFromFile does), the edit, then AssignLines (every line, the
// last one included, ends in CR LF). That holds for edits that work within lines:
// the whitespace optimizer, and a replacement whose pattern and replacement hold no
// CR or LF (no match can then reach across a line break, and a line break is never
// inside a character, so the case-insensitive search sees the same characters).

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

struct PieceFigures {
    std::size_t before = 0; // JoinedText length of the text as read
    std::size_t after = 0;  // the bytes given out
    bool changed = false;   // they differ from the bytes fed in
    bool hasPre = false;    // "<pre>" in the bytes given out (when looked for)
};

class PieceEditor {
public:
    // Edits whole lines, each ending in CR LF, into out (empty on entry); every
    // line break of the result must still be CR LF. A last line without a break is
    // given its break before the edit (the optimizer's way), or, when
    // breakAfterEdit is set, edited as it is and given a break when anything of it
    // is left (the refill after a replacement).
    using LineEdit = std::function<void(std::string_view lines, std::string& out)>;
    using Sink = std::function<void(std::string_view)>;

    // limit: the character limit of the refill; passing it throws what the
    // refill throws, "RichEdit line insertion error".
    // blockBytes: how many bytes of whole lines are edited at a time (at least).
    PieceEditor(LineEdit edit, Sink sink, std::size_t limit, bool lookForPre, bool breakAfterEdit,
                std::size_t blockBytes = BlockBytes);

    // The file's next bytes, as read.
    void Feed(std::string_view bytes);
    // The end of the file: the rest is edited and given out.
    const PieceFigures& Finish();

    static constexpr std::size_t BlockBytes = std::size_t{256} << 10;

private:
    void EditLines(std::size_t count, bool breakAfterEdit = false);

    LineEdit edit_;
    Sink sink_;
    std::size_t limit_;
    std::size_t blockBytes_;
    bool lookForPre_;
    bool breakAfterEdit_;
    PieceFigures figures_;
    std::string pending_; // unified text not yet edited: whole lines, then part of one
    std::string out_;
    std::size_t lastLf_ = std::string::npos; // the last LF in pending_
    std::size_t unified_ = 0;                // unified bytes so far
    bool crHeld_ = false;                    // the last byte fed was a CR: its LF may follow
    bool loneBreaks_ = false;
};

// True when a replacement of pattern by replacement works within lines.
bool ReplacementKeepsLines(std::string_view pattern, std::string_view replacement);
