#pragma once
// Reading a file, optimizing its text and "Save All"'s refill before writing it,
// done a piece at a time so that a large file never has to be whole in memory.
//
// The bytes given out are exactly those of the whole-text steps: every line break
// made CR LF (as ReadFromFile does), OptimizeDocument, then AssignLines (every
// line, the last one included, ends in CR LF). The optimizer works within lines:
// whole lines are optimized a block at a time, and a line longer than a block is
// optimized a part at a time, with what its end may still change held back (the
// last blank of a run, whether the line holds anything but blanks), so that no
// line needs to be whole in memory either. A replacement, which may reach across
// lines, is worked as a stream: PieceReplacer.
//
// With kept blocks the bytes read go straight to KeepingOptimizer, which writes
// every break as CR LF, or as LF when asked (SetBreaks): the bytes and figures
// are then those of the CR LF text written with LF breaks, and the character
// limit still counts CR LF breaks.

#include "text/BreakUnifier.h"
#include "text/KeepingOptimizer.h"
#include "text/Optimizer.h"

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

// What the refill throws when the text would pass its character limit: what
// TextDocument's fills throw, "RichEdit line insertion error", as a type of its
// own, so that a caller can tell it from a failing read or write.
class CharLimitError : public std::runtime_error {
public:
    CharLimitError() : std::runtime_error("RichEdit line insertion error") {}
};

struct PieceFigures {
    std::size_t before = 0; // JoinedText length of the text as read
    std::size_t after = 0;  // the bytes given out
    bool changed = false;   // they differ from the bytes fed in
    bool hasPre = false;    // "<pre>" in the bytes given out (when looked for)
};

class PieceEditor {
public:
    using Sink = std::function<void(std::string_view)>;

    // limit: the character limit of the refill; passing it throws CharLimitError.
    // options: as OptimizeDocument takes them.
    // blockBytes: how many bytes are optimized at a time (at least), without kept
    // blocks (with them, each piece at once).
    PieceEditor(Sink sink, std::size_t limit, const OptimizeOptions& options = {},
                std::size_t blockBytes = BlockBytes);

    // With kept blocks: every line break written as style's (CrLf, the default,
    // or Lf), and the figures counted in it (one byte for an LF). Set before the
    // first line break is fed.
    void SetBreaks(LineBreakStyle style);

    // The file's next bytes, as read.
    void Feed(std::string_view bytes);
    // The end of the file: the rest is optimized and given out.
    const PieceFigures& Finish();

    static constexpr std::size_t BlockBytes = std::size_t{256} << 10;

private:
    void Work(bool atEnd);
    void FeedKeeping(std::string_view bytes);
    const PieceFigures& FinishKeeping();
    void EditLines(std::size_t count);
    void EditLongLine(std::size_t count, bool lineEnds);
    // extra: what the limit counts besides out's bytes (a CR per LF written).
    void Give(std::string_view out, std::size_t extra = 0);

    Sink sink_;
    std::size_t limit_;
    std::size_t blockBytes_;
    OptimizeOptions options_;
    KeepingOptimizer keeping_; // with options_.keepPre
    PieceFigures figures_;
    std::size_t counted_ = 0; // the bytes given out, as the limit counts them
    BreakUnifier unifier_;
    std::string pending_; // unified text not yet optimized
    std::string out_;
    std::string kept_;        // with options_.keepPre: the output of a piece
    std::size_t read_ = 0;    // with options_.keepPre: the bytes read so far
    char lastRead_ = '\0';    // and the last of them
    bool lf_ = false;         // with options_.keepPre: LF written for every break
    std::string preTail_;     // the last bytes given out, for a "<pre>" cut between two
    std::size_t unified_ = 0; // unified bytes so far
    char lastUnified_ = '\0';
    // A line longer than a block is under way: its part so far is given out but
    // for the blank that may end a run, and whether anything but blanks came.
    bool inLongLine_ = false;
    bool longLineHasText_ = false;
    char heldBlank_ = '\0';
};
