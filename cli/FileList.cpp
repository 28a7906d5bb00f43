#include "cli/FileList.h"
#include "cli/QuotedNames.h"

#include "platform/PathStatus.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "scanner/Masks.h"
#include "scanner/ScanThread.h"
#include "settings/FileTypeLists.h"
#include "text/ListOrder.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

// Set before main() runs: DefaultTypeList, an inline variable included above, is
// initialized before this definition.
const char* const CliDefaultTypeList = DefaultTypeList.c_str();

namespace {

// Thrown out of the sort when the run is stopping.
struct ListStopped {};

// Walks one directory with the scanner's walk, on this thread: the thread's
// calls run on the caller when it has no hand-over.
void WalkDirectory(const std::string& argument, const std::string& types, bool recursive,
                   FileList& list, bool (*stopRequested)()) {
    const std::string start = StartDirectory(argument);
    std::vector<ListEntry> found;
    TScanThread walk(
        recursive, 0, types, start, TScanDrives{sdHard, sdCDROM, sdRAM, sdNetwork}, ssSpecifiedDir,
        [&](const std::string& AName, const std::string& APath, std::int32_t, std::int32_t,
            double) {
            ListEntry e;
            e.path = FoundPath(APath, AName);
            e.origin = argument;
            e.rel =
                e.path.compare(0, start.size(), start) == 0 ? e.path.substr(start.size()) : AName;
            found.push_back(std::move(e));
        },
        TDoProcess());
    walk.SetStopRequest(stopRequested);
    walk.Execute();
    for (const UnreadFolder& folder : walk.UnreadFolders())
        list.warnings.push_back(QuoteNameIn("cannot read folder \"" + folder.path +
                                                "\": " + SystemErrorText(folder.error),
                                            folder.path));
    for (const std::string& path : walk.Leftovers()) {
        if (path.compare(0, start.size(), start) == 0)
            list.leftovers.push_back(ListEntry{path, argument, path.substr(start.size())});
    }
    if (walk.FStatus != 0) {
        std::string why = walk.FCurrent;
        list.warnings.push_back(
            QuoteNameIn("the walk of \"" + start +
                            "\" ended early; files after the last one listed were left out" +
                            (why.empty() ? std::string() : " (" + why + ")"),
                        start));
    }
    for (ListEntry& e : found)
        list.entries.push_back(std::move(e));
}

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
                       bool recursive, bool (*stopRequested)()) {
    FileList list;
    const auto stopping = [stopRequested] {
        return stopRequested != nullptr && stopRequested();
    };
    for (const std::string& path : paths) {
        if (stopping())
            return list;
        if (StatusOfPath(path).directory) {
            WalkDirectory(path, types, recursive, list, stopRequested);
        } else {
            list.entries.push_back(ListEntry{path, path, NameOf(TrimTrailingSlashes(path))});
        }
    }
    // Each entry goes after those that compare equal to it, as the list box inserts.
    // Sorting a list of 100,000 paths takes a while: a stop ends it.
    std::size_t compared = 0;
    try {
        std::stable_sort(list.entries.begin(), list.entries.end(),
                         [&](const ListEntry& a, const ListEntry& b) {
                             if ((++compared & 4095) == 0 && stopping())
                                 throw ListStopped{};
                             return FileListBefore(a.path, b.path);
                         });
    } catch (const ListStopped&) {
        list.entries.clear();
        return list;
    }
    // One file is worked on once: a second name of it would see the first result.
    std::set<std::string> names;
    std::set<std::pair<std::uint64_t, std::uint64_t>> files;
    std::vector<ListEntry> kept;
    kept.reserve(list.entries.size());
    std::size_t looked = 0;
    for (ListEntry& e : list.entries) {
        // A look at each file: a list of many thousands takes a while.
        if ((++looked & 1023) == 0 && stopping()) {
            list.entries.clear();
            return list;
        }
        if (!names.insert(e.path).second)
            continue;
        const PathStatus status = StatusOfPath(e.path);
        if (status.regular && !files.insert({status.device, status.inode}).second)
            continue;
        kept.push_back(std::move(e));
    }
    list.entries.swap(kept);
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
