#pragma once
// The steps the commands take on one text, whole, in the document the window
// shows: optimize it, replace in it, and make the bytes a save writes.
//
// The document always holds CR LF breaks; the style a file is written with
// (LineBreakStyle) shows only in the bytes written and in the figures, which
// then count one byte per line break.

#include "text/LineBreaks.h"
#include "text/Optimizer.h"

#include <string>
#include <string_view>

class TextDocument;

struct ChangeRequest {
    std::string pattern; // every line break CR LF; empty matches nowhere
    std::string replacement;
    bool caseSensitive = false;
};

// What is done to each file, by the window's directory commands and by
// velocitrix-cli alike.
struct FileStep {
    bool optimize = true; // false: change
    ChangeRequest change;
    OptimizeOptions optimizeOptions;
    // The breaks written; the figures count them as written (one byte for Lf).
    // Keep: the style of the file's first line break, as the bytes read show it.
    LineBreakStyle breaks = LineBreakStyle::CrLf;
    // Whether Finish's changed is wanted. Writing LF it costs a comparison of
    // every byte read with every byte written; a caller that compares on its own
    // leaves it off (changed is then false).
    bool compare = true;
};

// Optimizes a document that has lines; one without lines stays as it is and
// counts nothing. The lengths are counted with breaks of the given style (Keep:
// the document's OwnBreaks).
// Throws what the refill throws (the character limit).
OptimizeRun OptimizeStep(TextDocument& doc, const OptimizeOptions& options = {},
                         LineBreakStyle breaks = LineBreakStyle::CrLf);

// Replaces every occurrence of the pattern in the whole text.
void ChangeStep(TextDocument& doc, const ChangeRequest& change);

// The bytes a save writes for a kept text: its lines, each ending in a break of
// the given style (Keep: the document's OwnBreaks, which the caller sets to the
// file's). For Lf they live in the document until its next change.
std::string_view SaveBytes(TextDocument& doc, std::string_view keptText,
                           LineBreakStyle breaks = LineBreakStyle::CrLf);
