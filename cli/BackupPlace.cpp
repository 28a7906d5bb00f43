#include "cli/BackupPlace.h"

#include "cli/BackupCopy.h"
#include "cli/FileList.h"

#include <climits>
#include <cstdlib>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// The absolute path with every link of the part that exists resolved, and the
// rest (which does not exist yet) added with "." and ".." worked out.
std::string Resolved(const std::string& path) {
    std::string absolute = path;
    if (absolute.empty() || absolute.front() != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd) == nullptr)
            return path;
        absolute = std::string(cwd) + "/" + path;
    }
    // The longest leading part that exists, resolved by the system.
    std::string head = absolute;
    std::vector<std::string> rest;
    for (;;) {
        if (char* real = ::realpath(head.c_str(), nullptr)) {
            head = real;
            std::free(real);
            break;
        }
        const std::size_t slash = head.find_last_of('/');
        if (slash == std::string::npos || head == "/")
            return absolute;
        rest.push_back(head.substr(slash + 1));
        head = slash == 0 ? "/" : head.substr(0, slash);
    }
    for (auto it = rest.rbegin(); it != rest.rend(); ++it) {
        if (it->empty() || *it == ".")
            continue;
        if (*it == "..") {
            const std::size_t slash = head.find_last_of('/');
            head = slash == 0 || slash == std::string::npos ? "/" : head.substr(0, slash);
            continue;
        }
        head += head == "/" ? *it : "/" + *it;
    }
    return head;
}

bool Inside(const std::string& path, const std::string& folder) {
    return path == folder || folder == "/" ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/');
}

} // namespace

std::string BackupPlaceProblem(const std::string& backupDir, const std::vector<std::string>& paths,
                               const std::vector<ListEntry>& entries) {
    const std::string dir = Resolved(backupDir);
    for (const std::string& path : paths) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        if (Inside(dir, Resolved(path)))
            return "the backup folder \"" + backupDir + "\" lies inside \"" + path +
                   "\", which is worked on; choose a folder outside it";
    }
    std::set<std::pair<dev_t, ino_t>> listed;
    for (const ListEntry& e : entries) {
        struct stat st {};
        if (::stat(e.path.c_str(), &st) == 0)
            listed.insert({st.st_dev, st.st_ino});
    }
    for (const ListEntry& e : entries) {
        const std::string copy = BackupPathOf(backupDir, e);
        struct stat st {};
        if (::stat(copy.c_str(), &st) == 0 && listed.count({st.st_dev, st.st_ino}) != 0)
            return "the backup copy of \"" + e.path + "\" would be \"" + copy +
                   "\", a file that is worked on; choose another backup folder";
    }
    return {};
}
