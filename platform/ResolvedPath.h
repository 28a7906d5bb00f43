#pragma once
// A path with every symbolic link, "." and ".." resolved, as the file system
// finds it now.

#include <string>

// The absolute path path resolves to, or "" when it cannot be resolved (a part
// missing or not searchable).
std::string ResolvedPath(const std::string& path);
