#pragma once
// The whitespace optimizer and the figures its callers derive from a run.

#include "text/PreformattedRules.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class TextDocument;

// One line optimized: runs of spaces and tabs shrink to their last character,
// leading and trailing white space goes. Returns false when the line is dropped.
bool OptimizeLine(std::string_view line, std::string& out);

// The lines to keep, in order.
std::vector<std::string> OptimizeLines(const std::vector<std::string>& lines);

// Optimizes whole lines in place: data holds lines that each end in CR LF; the kept
// lines, each with its CR LF, are moved to the front. Returns their length.
std::size_t OptimizeLinesInPlace(char* data, std::size_t size);

// True when the five bytes "<pre>" occur (exact, lower case).
bool ContainsPreTag(std::string_view text);

struct OptimizeOptions {
    // Keep the blocks a browser shows as they are written (pre, textarea, script,
    // style, xmp, listing, plaintext), the elements the page's CSS makes
    // preformatted and the attribute values: KeptBlocks.h says what is kept.
    bool keepPre = false;
    // With keepPre: the stylesheets a page links, as its caller reads them
    // (nullptr: none are read).
    LinkedStyleSheets* styleSheets = nullptr;
};

struct OptimizeRun {
    std::size_t lengthBefore = 0; // JoinedText length before
    std::size_t lengthAfter = 0;  // JoinedText length of the refilled document
    bool hasPre = false;          // "<pre>" in the refilled JoinedText (outside kept blocks)
    std::size_t Saved() const { return lengthBefore - lengthAfter; }
};

// The callers' steps 2 to 6 on a document that has lines: measure, optimize
// every line, refill (ClearDocument + AppendLine semantics, so the character
// limit applies), measure again and test for "<pre>". Throws what AppendLine throws.
// With keepPre, a kept block is text that is never changed inside its line(s), and
// the refill stops at the last whole line that fits.
OptimizeRun OptimizeDocument(TextDocument& doc, const OptimizeOptions& options = {});
