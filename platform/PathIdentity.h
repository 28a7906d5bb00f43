#pragma once
// Where a path leads, as the file system finds it now: the folder it resolves
// to (also where its last parts do not exist yet), and the file it names.

#include <string>

// The absolute path with every link of the part that exists resolved, and the
// rest (which does not exist yet) added with "." and ".." worked out; the path
// made absolute where no part of it resolves, and path itself where the
// working folder is not known.
std::string ResolvedAsFarAsItExists(const std::string& path);

// The file a path leads to (every link followed).
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    bool folder = false;
    bool operator<(const FileIdentity& other) const {
        return device != other.device ? device < other.device : inode < other.inode;
    }
};

// Looks the file at path up: 0 with id set, or errno.
int IdentityOf(const std::string& path, FileIdentity& id);
