#pragma once
// A file's step made a piece at a time: the bytes the whole-text steps give
// (FileSteps.h, then the refill a save makes), whatever the file's size, in a few
// pieces' worth of memory. The command line works every file this way.

#include "commands/FileSteps.h"
#include "text/PieceEditor.h"
#include "text/PieceReplacer.h"

#include <optional>
#include <string_view>

// What is done to each file.
struct FileStep {
    bool optimize = true; // false: change
    ChangeRequest change;
};

class StreamedStep {
public:
    using Sink = PieceEditor::Sink;

    // limit: the character limit of the refill (CharLimitError past it).
    StreamedStep(const FileStep& step, const Sink& sink, std::size_t limit);
    StreamedStep(const StreamedStep&) = delete;
    StreamedStep& operator=(const StreamedStep&) = delete;

    // The file's next bytes, as read.
    void Feed(std::string_view bytes);
    // The end of the file: the rest is worked and given out.
    const PieceFigures& Finish();

private:
    std::optional<PieceEditor> optimizer_;
    std::optional<PieceReplacer> replacer_;
};
