#pragma once
// The operating system's own text for an error number.

#include <string>

// The system's text for errnum, e.g. "No such file or directory" for ENOENT.
std::string SystemErrorText(int errnum);
