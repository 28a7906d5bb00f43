#pragma once
// Replace-all of one substring by another, with or without regard to letter case.

#include <string>
#include <string_view>

// Leftmost, non-overlapping matches; the replacement is never searched; an empty
// pattern matches nowhere. Case-insensitive matching compares upper-cased copies
// that keep every byte position (see UpperCase.h) and never starts a match inside
// a multi-byte character. Pure; cannot fail.
std::string ReplaceText(std::string_view text, std::string_view pattern,
                        std::string_view replacement, bool caseSensitive);
