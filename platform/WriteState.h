#pragma once
// What a pending write holds, shared by the prepare and commit steps
// (platform/PrepareWrite.cpp, platform/CommitWrite.cpp). A write either replaces
// its target by a temporary or writes into the target itself; each way keeps
// only what it needs.

#include "platform/FileAttributes.h"
#include "platform/FileStamp.h"
#include "platform/Temporaries.h"
#include "platform/TemporaryLocks.h"
#include "platform/UniqueFd.h"
#include "platform/WriteTarget.h"

#include <cerrno>
#include <cstddef>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>
#include <variant>

// The new content in a temporary beside the target, with the target's owner,
// mode and attributes, renamed over it at the commit.
struct ReplaceByTemporary {
    TemporaryFile temp;
    bool replaces = false; // the target existed when the write was prepared
};

// The new content written into the target itself at the commit (a file with
// several hard links, or one a new file could not stand in for).
struct WriteInPlace {
    UniqueFd fd; // the target
    dev_t device = 0;
    ino_t inode = 0;
    off_t oldSize = 0; // the target's size when prepared
    std::size_t newSize = 0;
    bool growAtCommit = false; // no fallocate: the new size is made sure of at commit
    // The new bytes and then the old ones wait in a temporary beside the target
    // that only this account can read; without one, in memory.
    TemporaryFile hold;
    std::string data;
    std::string old;
    bool oldKnown = false;
    // What the write takes away and gives back (the set-user-ID and set-group-ID
    // bits, the capability attribute).
    HeldPrivileges keep;
};

// One use of a folder's lock (platform/TemporaryLocks.h), held while the write
// has a temporary there.
class FolderUse {
public:
    FolderUse() = default;
    FolderUse(const FolderUse&) = delete;
    FolderUse& operator=(const FolderUse&) = delete;
    ~FolderUse() { LetGo(); }

    // Returns 0 or errno.
    int Take(const SharedFd& folder, dev_t device, ino_t inode) {
        if (const int err = HoldTemporaryFolder(folder, device, inode))
            return err;
        held_ = true;
        device_ = device;
        inode_ = inode;
        return 0;
    }
    bool Held() const { return held_; }
    void LetGo() noexcept {
        if (std::exchange(held_, false))
            ReleaseTemporaryFolder(device_, inode_);
    }

private:
    bool held_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

struct WriteState {
    WriteState() = default;
    WriteState(const WriteState&) = delete;
    WriteState& operator=(const WriteState&) = delete;
    ~WriteState() { Discard(); }

    // Removes what the write made (the temporaries), unless it was committed, and
    // lets go of everything it holds.
    void Discard() noexcept;
    // Lets go of the descriptors; the commit opens them again.
    void CloseDescriptors() noexcept;
    // Removes the temporary that holds a write in place's bytes.
    void RemoveHold() noexcept;
    // The target's folder, opened again where it was let go; 0 or errno.
    int Folder() { return ReopenFolder(target); }

    bool InPlace() const { return std::holds_alternative<WriteInPlace>(how); }
    ReplaceByTemporary& Replacement() { return std::get<ReplaceByTemporary>(how); }
    WriteInPlace& Direct() { return std::get<WriteInPlace>(how); }

    std::string path;
    WriteTarget target;
    FileStamp readAs;
    // The file this write leaves in place: a replacement's temporary as written,
    // known at once; a write in place's target once committed.
    FileStamp writtenAs;
    bool committed = false;
    FolderUse folderUse;
    std::variant<ReplaceByTemporary, WriteInPlace> how;
};

// What to report for something in the target's place that is not a regular file.
inline int NotRegularFileError(mode_t mode) {
    return S_ISDIR(mode) ? EISDIR : S_ISLNK(mode) ? ELOOP : EINVAL;
}

// The file is still the one that was read (or nothing was known of it).
inline bool StillAsRead(const struct stat& st, const FileStamp& readAs) {
    return !readAs.known || FileStamp::Of(st) == readAs;
}
