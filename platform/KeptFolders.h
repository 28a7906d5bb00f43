#pragma once
// Folders below a walked folder that a worker keeps open while it works in them.
// A walk lists the files of a folder one after another, so a worker that keeps
// the last folder it reached resolves each folder once (by the walk's rules: no
// link followed below the walked folder, see platform/WriteTarget.h) instead of
// once for every read and every write. The walked folder itself is opened once.
//
// A kept folder is only as current as its resolution: every commit of a batch
// calls RenewKeptFolders, and each thread resolves its folder again before its
// next use, so no file is read or written through a folder resolved before the
// chunk it belongs to began (the commit resolves each folder afresh too). Within
// a chunk a folder renamed out of the tree is still the folder the walk found, as
// it is for the writes of one folder that a commit puts in place together.

#include "platform/SharedFd.h"

#include <string>
#include <sys/types.h>

// A folder as found when opened.
struct FolderFacts {
    SharedFd fd;
    dev_t device = 0;
    ino_t inode = 0;
    uid_t owner = 0;
    gid_t group = 0;
    mode_t mode = 0;
    int appendOnly = -1; // chattr +a: 1 or 0; -1 where the file system does not say
    // A new file made here gets no extended attribute (no default ACL, no label):
    // 1 or 0 once a temporary made here showed it, -1 before.
    int plainNewFiles = -1;
};

// While one lives on a thread, that thread keeps the folders it reaches below a
// walked folder (the last one, and the walked folder itself); they are let go
// with it. Without one, every folder is resolved for each use, as before.
class KeepFolders {
public:
    KeepFolders();
    ~KeepFolders();
    KeepFolders(const KeepFolders&) = delete;
    KeepFolders& operator=(const KeepFolders&) = delete;

private:
    KeepFolders* outer_;
};

// Every thread resolves its kept folder again before its next use.
void RenewKeptFolders() noexcept;

// The folder rel below root, from what this thread keeps where that is current,
// else opened (and kept). Returns false where this thread keeps nothing (the
// caller opens the folder itself); else true with err 0 and out set, or err set.
bool KeptFolderBeneath(const std::string& root, const std::string& rel, FolderFacts& out,
                       int& err) noexcept;

// What a temporary made in the folder device/inode showed about new files there.
void NotePlainNewFiles(dev_t device, ino_t inode, bool plain) noexcept;
