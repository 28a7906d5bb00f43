#include "cli/BackupPlace.h"

#include "cli/BackupCopy.h"
#include "cli/FileList.h"
#include "platform/PathIdentity.h"

#include <set>
#include <vector>

namespace {

bool Inside(const std::string& path, const std::string& folder) {
    return path == folder || folder == "/" ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/');
}

} // namespace

std::string BackupPlaceProblem(const std::string& backupDir, const std::vector<std::string>& paths,
                               const std::vector<ListEntry>& entries) {
    const std::string dir = ResolvedAsFarAsItExists(backupDir);
    for (const std::string& path : paths) {
        FileIdentity id;
        if (IdentityOf(path, id) != 0 || !id.folder)
            continue;
        if (Inside(dir, ResolvedAsFarAsItExists(path)))
            return "the backup folder \"" + backupDir + "\" lies inside \"" + path +
                   "\", which is worked on; choose a folder outside it";
    }
    std::set<FileIdentity> listed;
    for (const ListEntry& e : entries) {
        FileIdentity id;
        if (IdentityOf(e.path, id) == 0)
            listed.insert(id);
    }
    for (const ListEntry& e : entries) {
        const std::string copy = BackupPathOf(backupDir, e);
        FileIdentity id;
        if (IdentityOf(copy, id) == 0 && listed.count(id) != 0)
            return "the backup copy of \"" + e.path + "\" would be \"" + copy +
                   "\", a file that is worked on; choose another backup folder";
    }
    return {};
}
