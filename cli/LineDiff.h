#pragma once
// The shortest line edit between two texts (Myers' O(ND) comparison, in linear
// space), for the unified diffs of --diff. A line runs up to and with its LF; a
// CR is part of a line's content, as diff and patch see it. Lines found on one
// side only are set aside before the comparison, so the usual cases (every line
// re-indented, every break changed) cost linear time.

#include <cstddef>
#include <string_view>
#include <vector>

// The text's lines, each with its LF (the last one may have none).
std::vector<std::string_view> SplitLines(std::string_view text);

struct LineEdit {
    std::vector<char> removed; // per line of the old text: not kept
    std::vector<char> added;   // per line of the new text: new
};

// Marks the fewest lines removed and added that turn a into b.
LineEdit DiffLines(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b);
