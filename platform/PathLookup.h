#pragma once
// What the file system says about a path, for callers that take paths from
// outside the program (its arguments, a drop) rather than from a file dialog.

#include <string>

// True when path names a folder (a link to one included).
bool IsFolder(const std::string& path);

// path itself when it starts with "/", else path below the current folder; path
// as it is when the current folder cannot be told.
std::string AbsolutePath(const std::string& path);
