#include "cli/BackupCopy.h"

#include "cli/FileList.h"

std::string BackupPathOf(const std::string& backupDir, const ListEntry& entry) {
    std::string dir = backupDir;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    std::string rel = entry.rel;
    while (!rel.empty() && rel.front() == '/')
        rel.erase(0, 1);
    return dir == "/" ? dir + rel : dir + "/" + rel;
}

BackupCopy::BackupCopy(const std::string& backupDir, const ListEntry& entry, unsigned mode)
    : BackupFile(BackupPathOf(backupDir, entry), backupDir, entry.rel, entry.path, mode) {}
