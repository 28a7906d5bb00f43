#pragma once
// What identifies a file's content as it was read: the file itself (device and
// inode), its size and its modification time to the nanosecond. A file written by
// another program since it was read has another stamp (a new inode after a safe
// write, or a new modification time after a write in place).

#include <cstdint>
#include <sys/stat.h>
#include <sys/types.h>

struct FileStamp {
    bool known = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t mtimeSeconds = 0;
    long mtimeNanoseconds = 0;

    static FileStamp Of(const struct stat& st) {
        return FileStamp{true,       st.st_dev,         st.st_ino,
                         st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    }
    bool operator==(const FileStamp&) const = default;
};
