#pragma once
// The process's limit on open files.

#include <cstdint>

// The soft RLIMIT_NOFILE; 2^20 when it is unlimited or cannot be read.
std::uint64_t OpenFilesLimit();
