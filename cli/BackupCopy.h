#pragma once
// The copy of an original that --backup DIR keeps, at the original's path below
// the PATH it came from, made by the rules of platform/BackupFile.h: DIR reached
// as the user wrote it, the folders below it created or opened without following
// a link, the copy always a new file.

#include "platform/BackupFile.h"

#include <string>

struct ListEntry;

// The path of an entry's copy below the backup directory.
std::string BackupPathOf(const std::string& backupDir, const ListEntry& entry);

class BackupCopy : public BackupFile {
public:
    // Creates the copy's folders (0700) and the copy itself, empty, with no
    // permission bit the original's mode lacks, and none for the group and others
    // where a folder above the original does not let every account through. Throws
    // std::runtime_error "Cannot create file
    // "<copy>". <why>" ("File exists" for a copy that is there already).
    BackupCopy(const std::string& backupDir, const ListEntry& entry, unsigned mode);
};
