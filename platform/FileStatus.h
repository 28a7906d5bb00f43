#pragma once
// A file's status with the flags chattr sets (immutable, append-only), in one
// call (statx) where the system offers it.

#include <sys/stat.h>

struct FileFlags {
    int immutable = -1;  // 1, 0, or -1 where the file system does not say
    int appendOnly = -1; // the same
};

// Fills st (and flags) for name relative to dir (flags as fstatat's: AT_EMPTY_PATH
// with "" for dir itself, AT_SYMLINK_NOFOLLOW). Returns 0 or errno.
int StatusWithFlags(int dir, const char* name, int atFlags, struct stat& st, FileFlags& flags);
