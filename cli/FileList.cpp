#include "cli/FileList.h"
#include "cli/DirectoryWalk.h"
#include "cli/QuotedNames.h"

#include "platform/PathStatus.h"
#include "platform/Paths.h"
#include "scanner/Masks.h"
#include "settings/FileTypeLists.h"
#include "text/ListOrder.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <set>
#include <stop_token>
#include <string_view>
#include <tuple>
#include <utility>

// Set before main() runs: DefaultTypeList, an inline variable included above, is
// initialized before this definition.
const char* const CliDefaultTypeList = DefaultTypeList.c_str();

namespace {

// Thrown out of the sort when the run is stopping.
struct ListStopped {};

} // namespace

std::string StartDirectory(const std::string& dir) {
    std::string start = dir;
    while (start.size() > 1 && start.back() == '/')
        start.pop_back();
    if (start != "/")
        start += '/';
    return start;
}

FileList BuildFileList(const std::vector<std::string>& paths, const std::string& types,
                       bool recursive, std::stop_token stop, unsigned helpers) {
    FileList list;
    const auto stopping = [&stop] {
        return stop.stop_requested();
    };
    // A deque: the entries are never moved as it grows.
    std::deque<FoundFile> found;
    for (const std::string& path : paths) {
        if (stopping())
            return list;
        const PathStatus status = StatusOfPath(path);
        if (status.directory) {
            WalkDirectory(path, types, recursive, helpers, list, found, stop);
        } else {
            FoundFile f;
            f.entry = ListEntry{path, path, NameOf(TrimTrailingSlashes(path))};
            f.regular = status.regular;
            f.device = status.device;
            f.inode = status.inode;
            found.push_back(std::move(f));
        }
    }
    // Each entry goes after those that compare equal to it, as the list box inserts.
    // Sorting a list of 100,000 paths takes a while: a stop ends it. The entries
    // stay where they are; their places are sorted.
    std::vector<FoundFile*> order;
    order.reserve(found.size());
    for (FoundFile& f : found)
        order.push_back(&f);
    std::size_t compared = 0;
    try {
        std::stable_sort(order.begin(), order.end(), [&](const FoundFile* a, const FoundFile* b) {
            if ((++compared & 4095) == 0 && stopping())
                throw ListStopped{};
            return FileListBefore(a->entry.path, b->entry.path);
        });
    } catch (const ListStopped&) {
        return list;
    }
    // One file is worked on once: a second name of it would see the first result.
    // The walk looked at each file it lists (its time): no second look by name.
    // A path met twice (a directory named twice, a folder that listed a name
    // twice while it changed) sorts among the paths equal to it but for case,
    // just before it: only those are compared with it.
    std::vector<bool> kept(order.size(), true);
    struct Id {
        std::uint64_t device;
        std::uint64_t inode;
        std::size_t at;
    };
    std::vector<Id> ids;
    std::size_t group = 0;           // the first of the paths equal to this one but for case
    std::set<std::string_view> many; // the paths of a group too large to compare one by one
    std::size_t manyUpTo = 0;        // the paths in it: those before this place
    for (std::size_t k = 0; k < order.size(); ++k) {
        if ((k & 1023) == 1023 && stopping())
            return list;
        const FoundFile& f = *order[k];
        if (k > 0 && FileListBefore(order[k - 1]->entry.path, f.entry.path)) {
            group = k;
            many.clear();
        }
        if (k - group <= 32) {
            for (std::size_t j = group; j < k && kept[k]; ++j)
                kept[k] = order[j]->entry.path != f.entry.path;
        } else {
            for (std::size_t j = std::max(group, manyUpTo); j < k; ++j)
                many.insert(order[j]->entry.path);
            manyUpTo = k + 1;
            kept[k] = many.insert(f.entry.path).second;
        }
        if (kept[k] && f.regular)
            ids.push_back({f.device, f.inode, k});
    }
    // Of the names of one regular file, the first in the list stays.
    std::sort(ids.begin(), ids.end(), [](const Id& a, const Id& b) {
        return std::tie(a.device, a.inode, a.at) < std::tie(b.device, b.inode, b.at);
    });
    for (std::size_t k = 1; k < ids.size(); ++k)
        if (ids[k].device == ids[k - 1].device && ids[k].inode == ids[k - 1].inode)
            kept[ids[k].at] = false;
    if (stopping())
        return list;
    list.entries.reserve(order.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        if (kept[k])
            list.entries.push_back(std::move(order[k]->entry));
    // A directory named twice is walked twice: its temporaries are named once.
    std::sort(list.leftovers.begin(), list.leftovers.end(),
              [](const ListEntry& a, const ListEntry& b) {
                  return FileListBefore(a.path, b.path) ||
                         (!FileListBefore(b.path, a.path) && a.path < b.path);
              });
    list.leftovers.erase(
        std::unique(list.leftovers.begin(), list.leftovers.end(),
                    [](const ListEntry& a, const ListEntry& b) { return a.path == b.path; }),
        list.leftovers.end());
    return list;
}

std::string ReadSavedFileTypes() {
    SavedOptions saved;
    ReadSavedOptions(saved);
    return *saved.fileTypes;
}

void CheckMaskList(const std::string& types) {
    TCollection masks;
    ParseMaskList(masks, types);
}
