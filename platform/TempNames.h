#pragma once
// The names of the temporaries a safe write creates beside its target:
// ".<name>.vx-RRRRRRRRCCCC.tmp", <name> the target's name cut to at most 200
// bytes (so the whole stays within NAME_MAX), RRRRRRRR eight random characters
// of [A-Za-z0-9] and CCCC four more that a hash of <name> and the random part
// gives. The check ties the name to its target's name: a name a person or
// another program chose matches it only by design, never by accident (a
// name of the exact form passes by chance once in about 14.8 million).
// Directory walks leave such names out (but for folders, which are never a
// temporary), so one run never lists another's files in the middle of being
// written.

#include <cstddef>
#include <string>
#include <string_view>

// The longest part of a target's name a temporary's name keeps.
constexpr std::size_t kMaxNameInWriteTemporary = 200;

// How many random characters a temporary's name holds.
constexpr std::size_t kWriteTemporaryRandomLength = 8;

// True when name has exactly the form above (at least one byte of <name>) and
// its check characters are those of its name and random part.
bool IsWriteTemporaryName(std::string_view name);

// The temporary's name for a target named targetName and eight random characters.
std::string WriteTemporaryName(std::string_view targetName, std::string_view random8);
