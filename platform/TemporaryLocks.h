#pragma once
// Telling a live run's temporaries from those a killed run left behind.
//
// While a process has temporaries in a folder (files being written, or replaced
// files a batch keeps until it deletes them), it holds a shared flock on that
// folder, through one open description of the folder per folder for the whole
// process: the writer's own (shared, platform/SharedFd.h), never closed while
// held. Where that description is a worker's kept folder (platform/KeptFolders.h),
// the lock stays until the worker lets the folder go too, never shorter. A process
// that wants to delete leftovers takes the folder's lock exclusively without
// waiting: when it gets it, no live run has a temporary there, and none can make
// one until it lets go. The kernel drops a killed process's locks, so nothing is
// left to clean up, and no file is made for the lock.
//
// Where the file system takes no lock on a folder (some network file systems),
// writes go on without it, and no leftover there is ever deleted: a deletion
// needs the exclusive lock.

#include "platform/SharedFd.h"

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

// Takes one more use of the shared lock on the folder open as folder (device and
// inode as given). Waits up to ten seconds while another process holds it
// exclusively (a removal of leftovers takes a moment); returns 0 or errno
// (EWOULDBLOCK when it was held longer, EMFILE when no descriptor is left).
int HoldTemporaryFolder(const SharedFd& folder, dev_t device, ino_t inode);
// One more use of a folder already held.
void RetainTemporaryFolder(dev_t device, ino_t inode) noexcept;
// One use less; the last one lets the lock go.
void ReleaseTemporaryFolder(dev_t device, ino_t inode) noexcept;
// The descriptor the lock of a held folder is taken through (open while the
// caller holds a use of it), or -1 where the folder is not held or the file
// system takes no lock.
int HeldFolderDescriptor(dev_t device, ino_t inode) noexcept;
// How many folders the process holds now.
std::size_t TemporaryFoldersHeld() noexcept;

struct StaleTemporaries {
    std::size_t removed = 0;
    std::size_t inUse = 0;   // a live run holds their folder
    std::size_t notOurs = 0; // not a regular file with one link of the account that runs
    // Each one that could not be deleted or looked at: its name (or "" for the
    // folder itself) and the errno.
    std::vector<std::pair<std::string, int>> failures;
};

// Deletes the leftovers names (temporaries' names) in the folder relFolder below
// the walked folder root. The folder is reached as a walk's writes reach it (no
// link followed below root), and each name is deleted relative to it, only when
// it is a regular file with one link owned by the account that runs, and only
// while the folder's exclusive lock shows that no live run has a temporary there.
void RemoveStaleTemporaries(const std::string& root, const std::string& relFolder,
                            const std::vector<std::string>& names, StaleTemporaries& result);
