#pragma once
// The temporaries a write makes beside its target (named as platform/TempNames.h
// says): creating one, knowing it again once its descriptor was let go, and
// removing it, never a file another program put under its name.

#include "platform/UniqueFd.h"
#include "platform/WriteError.h"

#include <ctime>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

struct TemporaryFile {
    std::string name; // in the target's folder; empty: none
    UniqueFd fd;      // while open
    // What it is known again by; the change time tells a new file that was given
    // a freed inode number.
    dev_t device = 0;
    ino_t inode = 0;
    struct timespec ctime {};
    // What a rename leaves as it was: size, modification time, owner, group, mode.
    off_t size = 0;
    struct timespec mtime {};
    uid_t owner = 0;
    gid_t group = 0;
    mode_t mode = 0;

    // Takes device, inode, change time and the rest from st.
    void Remember(const struct stat& st) {
        device = st.st_dev;
        inode = st.st_ino;
        ctime = st.st_ctim;
        size = st.st_size;
        mtime = st.st_mtim;
        owner = st.st_uid;
        group = st.st_gid;
        mode = st.st_mode;
    }
    bool SameFile(const struct stat& st) const { return st.st_dev == device && st.st_ino == inode; }
    // The same file, as written, after a rename (which sets the change time): its
    // content not written since (size, modification time), nor its owner, group
    // or mode changed. Where the name was given to another file meanwhile, the
    // descriptor-less check cannot tell a new file that got a freed inode number
    // from this one by the change time; by these it can, but for a file its own
    // owner made to look the same.
    bool SameFileAsWritten(const struct stat& st) const {
        return SameFile(st) && st.st_size == size && st.st_mtim.tv_sec == mtime.tv_sec &&
               st.st_mtim.tv_nsec == mtime.tv_nsec && st.st_uid == owner && st.st_gid == group &&
               st.st_mode == mode;
    }
    bool SameFileUnchanged(const struct stat& st) const {
        return SameFile(st) && st.st_ctim.tv_sec == ctime.tv_sec &&
               st.st_ctim.tv_nsec == ctime.tv_nsec;
    }
};

// Creates a new temporary for the target named targetName in folder, open for
// reading and writing (never through a link), with mode. Returns 0 with
// made.name and made.fd set, or errno (made.name then empty).
int CreateTemporary(int folder, const std::string& targetName, mode_t mode, TemporaryFile& made);

// Opens the temporary again for reading, through folder, when its descriptor was
// let go: ReplacedFault when its name holds another file now (or nothing), the
// change time compared too with checkChangeTime. flags: added to O_RDONLY.
WriteFault OpenTemporaryAgain(int folder, TemporaryFile& temp, int flags, bool checkChangeTime);

// The name still holds the very file this process wrote (device, inode, change time).
WriteFault TemporaryStillThere(int folder, const TemporaryFile& temp);

// Removes name from folder when it still names the file device/inode, not one
// that took its name since.
void RemoveIfSameFile(int folder, const std::string& name, dev_t device, ino_t inode) noexcept;
