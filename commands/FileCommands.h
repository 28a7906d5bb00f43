#pragma once
// The single-file commands' steps on the view's document: load a file, optimize
// or change the text, save it where the user chose.

#include "commands/FileSteps.h"

#include <string>

class TextDocument;

// Reads the file into the document (the commands' limit, plain text). Throws the
// read's error; the document is unchanged then.
void LoadFileInto(TextDocument& doc, const std::string& path);

struct OptimizeFileOutcome {
    bool empty = false; // nothing to optimize: the document is unchanged
    OptimizeRun run;
};
// The figures count line breaks of the style the file will be written with.
// page: the file's path, from which the sheets it links are read when
// preformatted text is kept ("": none are read).
OptimizeFileOutcome OptimizeFile(TextDocument& doc, const OptimizeOptions& options = {},
                                 LineBreakStyle breaks = LineBreakStyle::CrLf,
                                 const std::string& page = {});

// Writes the document's text to path, safely, following links as given, with
// its line breaks in the given style.
void SaveFileTo(TextDocument& doc, const std::string& path,
                LineBreakStyle breaks = LineBreakStyle::CrLf);
