#pragma once
// What a path names, following symbolic links (stat): whether it exists, its
// kind, and the device and inode that tell two names of one file apart.

#include <cstdint>
#include <string>

struct PathStatus {
    bool exists = false; // false when the path cannot be looked up
    bool directory = false;
    bool regular = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

PathStatus StatusOfPath(const std::string& path);
