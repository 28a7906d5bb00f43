#pragma once
// The names of the temporaries a safe write creates beside its target:
// ".<name>.vx-XXXXXX.tmp", <name> the target's name cut to at most 200 bytes (so
// the whole stays within NAME_MAX) and XXXXXX six characters of [A-Za-z0-9].
// Directory walks leave such names out, so one run never lists another's files
// in the middle of being written.

#include <cstddef>
#include <string>
#include <string_view>

// The longest part of a target's name a temporary's name keeps.
constexpr std::size_t kMaxNameInWriteTemporary = 200;

// True when name has exactly the form above (at least one byte of <name>).
bool IsWriteTemporaryName(std::string_view name);

// The temporary's name for a target named targetName and a six-character suffix.
std::string WriteTemporaryName(std::string_view targetName, std::string_view suffix6);
