#pragma once
// The unified diff of one file's old and new bytes, as --diff prints it: "---
// a/PATH", "+++ b/PATH" (quoted as GNU diff quotes a name that needs it), hunks
// with three lines of context, and "\ No newline at end of file" after a last
// line without LF. "patch -p1" run where PATH is
// relative turns the old bytes into exactly the new ones (a CR is part of a
// line's content). A file whose only change is its line breaks gets one line
// before its diff, "# line breaks: LF -> CR LF" or the like, since every line
// shows as changed.

#include <string>
#include <string_view>

// Empty when old and new are the same bytes.
std::string UnifiedDiff(const std::string& path, std::string_view oldText, std::string_view newText,
                        int context = 3);

// The kinds of line break a text uses ("CR LF", "LF", "CR", "mixed" or "none"),
// with ", no final break" when its last line has none.
std::string LineBreakKinds(std::string_view text);

// True when the two texts hold the same lines and differ only in their breaks.
bool OnlyLineBreaksDiffer(std::string_view a, std::string_view b);
