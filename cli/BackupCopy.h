#pragma once
// The copy of an original that --backup DIR keeps, at the original's path below
// the PATH it came from. DIR is reached as the user wrote it (created when
// missing); every folder below it is created (open to its maker only) or opened
// without following a symbolic link, and the copy is always a new file, never
// one already there nor the target of a link: a link another account put into
// the backup folder cannot send the copy onto some other file.

#include "platform/UniqueFd.h"

#include <string>
#include <string_view>
#include <sys/types.h>

struct ListEntry;

// The path of an entry's copy below the backup directory.
std::string BackupPathOf(const std::string& backupDir, const ListEntry& entry);

class BackupCopy {
public:
    // Creates the copy's folders (0700) and the copy itself, empty, with no
    // permission bit the original's mode lacks, and none for the group and others
    // where a folder above the original does not let every account through. Throws
    // std::runtime_error "Cannot create file
    // "<copy>". <why>" ("File exists" for a copy that is there already).
    BackupCopy(const std::string& backupDir, const ListEntry& entry, mode_t mode);
    BackupCopy(const BackupCopy&) = delete;
    BackupCopy& operator=(const BackupCopy&) = delete;
    // A copy that was not kept is removed: no half copy stays behind.
    ~BackupCopy();

    void Append(std::string_view bytes);
    // Puts the copy on the disk (its bytes and its name) and keeps it.
    void Keep();

    const std::string& Path() const { return path_; }

private:
    [[noreturn]] void Fail(int err) const;

    std::string path_;
    std::string name_;
    UniqueFd folder_;
    UniqueFd file_;
    bool kept_ = false;
};
