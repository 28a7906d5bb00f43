#pragma once
// The order of the file list, shared by the main window and the command line:
// paths compared byte by byte with 'A' to 'Z' taken as 'a' to 'z' and no locale
// collation, so "." and "/" come before digits and letters.

#include <string_view>

// True when a sorts before b in the file list.
bool FileListBefore(std::string_view a, std::string_view b);
