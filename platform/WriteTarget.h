#pragma once
// Finding the file a write goes to: the folder it lies in (held open, so that
// every later step works relative to that folder and cannot be sent elsewhere by a
// renamed folder) and its name there.
//
// A path the user pointed at is followed as given, every symbolic link included.
// A path found by a walk stays inside the walked folder: the folders below it are
// opened without following any link, and a link in the file's own place is
// followed only where the link and the file it reaches have one owner (the rule
// the kernel's protected_symlinks applies in shared folders).

#include "platform/FileStatus.h"
#include "platform/SharedFd.h"
#include "platform/UniqueFd.h"

#include <string>
#include <sys/types.h>

struct WriteTarget {
    SharedFd folder;        // shared with the worker that keeps it (platform/KeptFolders.h)
    std::string folderPath; // for messages and for opening the folder again
    std::string name;
    dev_t folderDevice = 0;
    ino_t folderInode = 0;
    bool beneath = false;  // reached through the walk's rules
    std::string root;      // the walked folder (beneath only)
    std::string relFolder; // the folder below root ("" for root itself)
    // Beneath, reached through a link in the file's own place: the owner the
    // links and the file share, which the file opened later must still have.
    bool throughLink = false;
    uid_t linkOwner = 0;
    // The folder as found when it was opened, where known (a kept folder): its
    // owner, group and mode, whether it is append-only (-1: not known), and
    // whether a new file there gets no extended attribute (-1: not known).
    bool folderKnown = false;
    uid_t folderOwner = 0;
    gid_t folderGroup = 0;
    mode_t folderMode = 0;
    int folderAppendOnly = -1;
    int plainNewFiles = -1;
};

// Finds the target of path. beneath: the walked folder, or empty. Returns 0 or
// errno (EACCES for a link the rules above do not let through).
int FindWriteTarget(const std::string& path, const std::string& beneath, WriteTarget& target);

// Opens the file at path for reading by the rules a write to it follows: with
// beneath (the walked folder), the folders from there are opened without
// following any link, a link in the file's own place is followed only where the
// link and the file it reaches have one owner, and the file itself is opened
// without following a link (O_NOFOLLOW). Only a regular file is opened: it is
// looked at first, so a device or FIFO is never opened (EISDIR for a folder,
// EINVAL for anything else). Returns 0 with file set, or errno (EACCES for a
// link the rules do not let through, ELOOP for a folder made a link).
// Without a link in its place, the file is opened at once (O_NOFOLLOW|O_NONBLOCK|
// O_NOCTTY: a FIFO never blocks, no terminal is taken) and then looked at.
// target, status and flags, when given, receive where it was found and its
// status as opened (for a write that follows the reading).
int OpenToRead(const std::string& path, const std::string& beneath, UniqueFd& file,
               WriteTarget* target = nullptr, struct stat* status = nullptr,
               FileFlags* flags = nullptr);
// Opens the folder rel below the walked folder root by the rules above: root as
// given, no link followed below it. Returns 0 with folder set, or errno.
int OpenFolderBeneath(const std::string& root, const std::string& rel, UniqueFd& folder);
// The two steps of it: the walked folder as given, and rel below an open one
// (no link followed, never leaving it). Return 0 or errno.
int OpenWalkedFolder(const std::string& root, UniqueFd& folder);
int OpenBelow(int root, const std::string& rel, UniqueFd& out);

// Opens the target's folder again after its descriptor was let go, by the same
// rules, and checks that it is the same folder. Returns 0 or errno (ESTALE when
// another folder is there now).
int ReopenFolder(WriteTarget& target);
