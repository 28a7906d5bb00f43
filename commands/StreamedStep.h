#pragma once
// A file's step made a piece at a time: the bytes the whole-text steps give
// (FileSteps.h, then the refill a save makes), whatever the file's size, in a few
// pieces' worth of memory. The command line works every file this way.

#include "commands/FileSteps.h"
#include "text/BreakStyleSink.h"
#include "text/LineBreaks.h"
#include "text/PieceEditor.h"
#include "text/PieceReplacer.h"
#include "text/StreamComparison.h"

#include <optional>
#include <string_view>

class StreamedStep {
public:
    using Sink = PieceEditor::Sink;

    // limit: the character limit of the refill (CharLimitError past it), counted
    // as the document counts, with CR LF breaks.
    StreamedStep(const FileStep& step, const Sink& sink, std::size_t limit);
    StreamedStep(const StreamedStep&) = delete;
    StreamedStep& operator=(const StreamedStep&) = delete;

    // The file's next bytes, as read.
    void Feed(std::string_view bytes);
    // The end of the file: the rest is worked and given out. With Lf breaks,
    // before and after count one byte per break, and changed compares the bytes
    // written with the bytes read.
    const PieceFigures& Finish();

private:
    // Keeping the file's style: it is known now; what was held goes out in it.
    void Decide(LineBreakStyle style);
    // The editors' bytes, before the breaks' style is applied.
    void Edited(std::string_view bytes);
    // The bytes written to the sink, in their final style.
    void Written(std::string_view bytes);

    bool keep_; // the file's own style, not known yet
    bool lf_;
    // The optimizer with kept blocks writes the breaks itself, and gives the
    // figures in their style: nothing here looks at the bytes.
    bool direct_;
    bool compare_;
    Sink sink_;
    // Keeping the file's style while no break has been read: the editors' bytes
    // from the first break they gave out (a replacement's own break).
    std::string held_;
    std::optional<BreakStyleSink> styled_;
    LineCounter lines_;           // the lines of the text read (for Lf)
    StreamComparison comparison_; // the bytes read and the bytes written (for Lf)
    std::size_t written_ = 0;     // the bytes written (for Lf)
    PieceFigures figures_;
    std::optional<PieceEditor> optimizer_;
    std::optional<PieceReplacer> replacer_;
};
