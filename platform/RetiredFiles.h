#pragma once
// The files a batch replaced, each under its replacement's temporary name in its
// own folder (with its own owner, mode and ACL, and never written into), deleted
// together: see WriteBatch in platform/WriteBatch.h.

#include "platform/WriteTarget.h"

#include <cstddef>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

class RetiredFiles {
public:
    RetiredFiles() = default;
    RetiredFiles(const RetiredFiles&) = delete;
    RetiredFiles& operator=(const RetiredFiles&) = delete;
    ~RetiredFiles() { DeleteAll(); }

    // Keeps the file replaced at where under the temporary's name; the folder's
    // lock (platform/TemporaryLocks.h) is held until the file is deleted.
    void Add(const WriteTarget& where, const std::string& name, const struct stat& st);

    std::size_t Count() const { return files_.size(); }
    std::size_t Folders() const { return folders_.size(); }
    std::size_t Bytes() const { return bytes_; }

    // Deletes each one still there under its name (and nothing that took its name).
    void DeleteAll() noexcept;

private:
    struct Retired {
        std::size_t folder = 0; // in folders_
        std::string name;
        dev_t device = 0;
        ino_t inode = 0;
    };
    std::vector<WriteTarget> folders_;
    std::vector<Retired> files_;
    std::size_t bytes_ = 0; // the disk space the files take
};
