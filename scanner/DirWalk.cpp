#include "scanner/DirWalk.h"

#include "platform/Paths.h"
#include "platform/TempNames.h"

#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

DirWalkSink::~DirWalkSink() = default;

void DirWalkSink::Folder(const std::string&) {}

void DirWalkSink::Leftover(std::string) {}

void DirWalkSink::Unread(UnreadFolder) {}

bool DirWalkSink::TakeFolder(const TDirListing&, const char*, const std::string&) {
    return false;
}

namespace {

// Folders this near the start keep their descriptors while the walk is below
// them; deeper ones close theirs before it descends and reopen afterwards.
constexpr std::size_t kHeldLevels = 32;

// One folder being listed, the start folder first. name is the folder's name in
// its parent, kept only for folders deep enough to be closed while the walk is
// below them (Reopen opens them by it).
struct Level {
    std::unique_ptr<TDirListing> listing;
    std::string path;
    std::string name;
};

class Walker {
public:
    Walker(const DirWalkOptions& options, DirWalkSink& sink, std::stop_token stop)
        : options_(options), sink_(sink), stop_(std::move(stop)) {}

    DirWalkEnd Run(const std::string& path);
    DirWalkEnd RunOpened(std::unique_ptr<TDirListing> folder, std::string path);

private:
    DirWalkEnd Walk();
    void Enter(const char* nameInParent, std::string path);
    void Leave(int unread);
    int Reopen(std::size_t depth);
    void Look(TDirListing& listing);

    const DirWalkOptions& options_;
    DirWalkSink& sink_;
    std::stop_token stop_;
    std::vector<Level> levels_;
    TFindData data_;
    bool descending_ = true; // false once the sink answered false
    bool stopped_ = false;   // a folder left unopened for the stop
};

DirWalkEnd Walker::Run(const std::string& path) {
    Enter(nullptr, path);
    return Walk();
}

DirWalkEnd Walker::RunOpened(std::unique_ptr<TDirListing> folder, std::string path) {
    sink_.Folder(path);
    if (!folder->IsOpen()) {
        if (folder->Error() != ENOENT && folder->Error() != ENOTDIR) {
            sink_.Unread(UnreadFolder{std::move(path), folder->Error()});
        }
        return DirWalkEnd::Finished;
    }
    levels_.push_back(Level{std::move(folder), std::move(path), std::string()});
    return Walk();
}

DirWalkEnd Walker::Walk() {
    while (!levels_.empty()) {
        if (stop_.stop_requested()) {
            return DirWalkEnd::Stopped; // the levels close as the walker goes
        }
        TDirListing& listing = *levels_.back().listing;
        if (!listing.Next()) {
            Leave(0);
            continue;
        }
        if (!listing.IsDotOrDotDot()) {
            Look(listing);
        }
    }
    return stopped_ ? DirWalkEnd::Stopped : DirWalkEnd::Finished;
}

// The current entry of the innermost folder: a leftover, a report, a folder to enter.
void Walker::Look(TDirListing& listing) {
    const std::string_view name(listing.Name(), listing.NameLength());
    const std::string& folder = levels_.back().path;
    // Another run's file in the middle of being written: not the user's. A
    // folder is never a temporary, whatever its name.
    if (IsWriteTemporaryName(name) && !listing.IsRealDirectory()) {
        sink_.Leftover(JoinPath(folder, name));
        return;
    }
    const std::int32_t mask = options_.attributeMask;
    if (options_.masks != nullptr && MatchAnyMask(*options_.masks, name) &&
        (listing.AttributesFor(mask) & mask) == mask) {
        if (!listing.Fill(data_)) {
            return; // gone since it was listed
        }
        DirWalkEntry entry{name, folder, data_};
        entry.regular = listing.RegularFileId(entry.device, entry.inode);
        if (!sink_.Entry(entry)) {
            descending_ = false;
        }
    }
    if (options_.recursive && descending_ && listing.IsRealDirectory()) {
        dev_t device = 0;
        if (!options_.sameDevice ||
            (listing.DeviceOf(device) && static_cast<std::uint64_t>(device) == options_.device)) {
            std::string path = JoinPath(folder, name);
            if (!sink_.TakeFolder(listing, listing.Name(), path)) {
                Enter(listing.Name(), std::move(path));
            }
        }
    }
}

// Opens a folder, the start folder by its path, any other by its name in the
// innermost open one, never through a link.
void Walker::Enter(const char* nameInParent, std::string path) {
    sink_.Folder(path);
    if (stop_.stop_requested()) {
        stopped_ = true;
        return;
    }
    const std::size_t depth = levels_.size();
    auto listing = depth > 0 ? std::make_unique<TDirListing>(*levels_.back().listing, nameInParent)
                             : std::make_unique<TDirListing>(path);
    if (!listing->IsOpen()) {
        // A folder gone or made a file since it was listed has nothing to miss.
        if (listing->Error() != ENOENT && listing->Error() != ENOTDIR) {
            sink_.Unread(UnreadFolder{std::move(path), listing->Error()});
        }
        return;
    }
    std::string name = depth >= kHeldLevels ? std::string(nameInParent) : std::string();
    levels_.push_back(Level{std::move(listing), std::move(path), std::move(name)});
    if (depth > kHeldLevels) {
        levels_[depth - 1].listing->Suspend(stop_); // nameInParent is not used after this
    }
}

// The innermost folder is done (unread: the errno that ended it, or 0): its read
// error is reported, and the folder above it, when it let go of its directory
// meanwhile, takes it back.
void Walker::Leave(int unread) {
    for (;;) {
        Level& level = levels_.back();
        if (unread == 0) {
            unread = level.listing->Error();
        }
        if (unread != 0) {
            sink_.Unread(UnreadFolder{level.path, unread});
        }
        levels_.pop_back();
        if (levels_.empty()) {
            return;
        }
        const TDirListing& parent = *levels_.back().listing;
        if (parent.IsOpen() || !parent.HasPending()) {
            return;
        }
        // Not taken back once the descent has ended: that folder is done too.
        unread = descending_ ? Reopen(levels_.size() - 1) : 0;
        if (descending_ && unread == 0) {
            return;
        }
    }
}

// Reopens the suspended folder at depth from its nearest open ancestor, each
// folder on the way by its name and checked to be the one walked before, so a
// folder swapped for a link or another folder meanwhile is not entered. Folders
// on the way are closed again. Returns 0 or the errno of the step that failed.
int Walker::Reopen(std::size_t depth) {
    std::size_t first = depth;
    while (first > 0 && !levels_[first - 1].listing->IsOpen()) {
        --first;
    }
    if (first == 0) {
        return EBADF; // the start folder is never closed
    }
    int error = 0;
    for (std::size_t i = first; i <= depth && error == 0; ++i) {
        error = levels_[i].listing->Reopen(*levels_[i - 1].listing, levels_[i].name.c_str());
        if (i > first) {
            levels_[i - 1].listing->Suspend(stop_);
        }
    }
    return error;
}

} // namespace

DirWalkEnd WalkDirectoryTree(const std::string& path, const DirWalkOptions& options,
                             DirWalkSink& sink, std::stop_token stop) {
    Walker walker(options, sink, std::move(stop));
    return walker.Run(path);
}

DirWalkEnd WalkOpenedFolder(std::unique_ptr<TDirListing> folder, std::string path,
                            const DirWalkOptions& options, DirWalkSink& sink,
                            std::stop_token stop) {
    Walker walker(options, sink, std::move(stop));
    return walker.RunOpened(std::move(folder), std::move(path));
}
