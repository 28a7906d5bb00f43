#include "cli/DirectoryWalk.h"
#include "cli/IdleHelpers.h"
#include "cli/QuotedNames.h"

#include "platform/FileTime.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "scanner/Masks.h"

#include <string_view>
#include <utility>

namespace {

// True when the window's list can show the time (a DOS date and time, 1980 to
// 2107 in local time); its scans end at the first entry it cannot.
bool TimeShown(const TFileTime& time) {
    TLocalTime local;
    TDosDateTime dos;
    return SystemFileTime().ToLocalTime(time, local) && LocalTimeToDosDateTime(local, dos);
}

// One part's findings, as the window's scan walks them.
class ListSink : public DirWalkSink {
public:
    ListSink(const std::string& argument, const std::string& start, WalkPart& part)
        : argument_(argument), start_(start), part_(&part) {}

    void Folder(const std::string& path) override { part_->last = path; }
    bool Entry(DirWalkEntry& e) override {
        part_->last = e.folder;
        if (ended_)
            return false; // nothing after the entry the walk ended at
        FoundFile f;
        f.entry.path = FoundPath(e.folder, e.name);
        f.entry.origin = argument_;
        f.entry.rel = f.entry.path.compare(0, start_.size(), start_) == 0
                          ? f.entry.path.substr(start_.size())
                          : std::string(e.name);
        f.regular = e.regular;
        f.device = e.device;
        f.inode = e.inode;
        part_->found.push_back(std::move(f));
        ended_ = !TimeShown(e.data.LastWriteTime);
        part_->ended = part_->ended || ended_;
        return !ended_;
    }
    void Leftover(std::string path) override {
        if (path.compare(0, start_.size(), start_) == 0) {
            std::string rel = path.substr(start_.size());
            part_->leftovers.push_back(ListEntry{std::move(path), argument_, std::move(rel)});
        }
    }
    void Unread(UnreadFolder folder) override { part_->unread.push_back(std::move(folder)); }
    // The walk failed (what: the message): it ends here.
    void Fail(std::string what) {
        part_->failed = true;
        part_->last = std::move(what);
    }

protected:
    const std::string& argument_;
    const std::string& start_;
    WalkPart* part_;
    bool ended_ = false;
};

// The start folder's sink: a subfolder is taken over when a helper is idle, and
// what the walk meets after it goes to a new part.
class StartSink final : public ListSink {
public:
    StartSink(const std::string& argument, const std::string& start, std::deque<WalkPart>& parts,
              IdleHelpers& helpers, const DirWalkOptions& options, const std::stop_token& stop)
        : ListSink(argument, start, parts.emplace_back()), parts_(parts), helpers_(helpers),
          options_(options), stop_(stop) {}

    bool Entry(DirWalkEntry& e) override {
        std::vector<std::string>& folders = part_->entryFolders;
        if (folders.empty() || folders.back() != e.folder)
            folders.push_back(e.folder);
        return ListSink::Entry(e);
    }

    bool TakeFolder(const TDirListing& parent, const char* name, const std::string& path) override {
        if (ended_ || !helpers_.Idle())
            return false;
        auto folder = std::make_unique<TDirListing>(parent, name);
        if (!folder->IsOpen())
            return false; // entered here, to meet what the walk meets
        WalkPart& part = parts_.emplace_back();
        part.taken = true;
        part.path = path;
        part.folder = std::move(folder);
        helpers_.Run([&argument = argument_, &start = start_, &options = options_, &stop = stop_,
                      &part, path] {
            ListSink sink(argument, start, part);
            try {
                WalkOpenedFolder(std::move(part.folder), path, options, sink, stop);
            } catch (const std::exception& e) {
                sink.Fail(e.what());
            } catch (...) {
                sink.Fail("Unknown error");
            }
        });
        part_ = &parts_.emplace_back();
        return true;
    }

private:
    std::deque<WalkPart>& parts_;
    IdleHelpers& helpers_;
    const DirWalkOptions& options_;
    const std::stop_token& stop_;
};

// Whether folder (as the walk names it) holds the folder at path, at any depth.
bool Above(std::string_view folder, std::string_view path) {
    if (folder.size() > 1 && folder.back() == '/')
        folder.remove_suffix(1);
    if (folder == "/")
        return path.size() > 1 && path.front() == '/';
    return path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/';
}

} // namespace

void JoinParts(std::deque<WalkPart>& parts, const std::string& start, FileList& list,
               std::deque<FoundFile>& found) {
    const WalkPart* end = nullptr;
    std::string why;
    std::vector<const UnreadFolder*> unread;
    for (WalkPart& part : parts) {
        if (end == nullptr) {
            for (FoundFile& f : part.found)
                found.push_back(std::move(f));
            for (ListEntry& e : part.leftovers)
                list.leftovers.push_back(std::move(e));
            for (const UnreadFolder& u : part.unread)
                unread.push_back(&u);
            if (part.ended || part.failed) {
                end = &part;
                why = part.last;
            }
        } else if (end->taken && !end->failed && !part.taken) {
            for (ListEntry& e : part.leftovers)
                if (Above(FolderPrefixOf(e.path), end->path))
                    list.leftovers.push_back(std::move(e));
            for (const UnreadFolder& u : part.unread)
                if (Above(u.path, end->path))
                    unread.push_back(&u);
            for (const std::string& folder : part.entryFolders)
                if (Above(folder, end->path))
                    why = folder;
        }
    }
    for (const UnreadFolder* u : unread)
        list.warnings.push_back(QuoteNameIn(
            "cannot read folder \"" + u->path + "\": " + SystemErrorText(u->error), u->path));
    if (end != nullptr)
        list.warnings.push_back(
            QuoteNameIn("the walk of \"" + start +
                            "\" ended early; files after the last one listed were left out" +
                            (why.empty() ? std::string() : " (" + why + ")"),
                        start));
}

void WalkDirectory(const std::string& argument, const std::string& types, bool recursive,
                   unsigned helperCount, FileList& list, std::deque<FoundFile>& found,
                   const std::stop_token& stop) {
    const std::string start = StartDirectory(argument);
    std::deque<WalkPart> parts;
    TCollection masks;
    DirWalkOptions options;
    options.recursive = recursive;
    options.masks = &masks;
    {
        IdleHelpers helpers(recursive ? helperCount : 0); // joined before the rest goes
        StartSink sink(argument, start, parts, helpers, options, stop);
        try {
            ParseMaskList(masks, types);
            WalkDirectoryTree(start, options, sink, stop);
        } catch (const std::exception& e) {
            sink.Fail(e.what());
        } catch (...) {
            sink.Fail("Unknown error");
        }
        helpers.Finish();
    }
    JoinParts(parts, start, list, found);
}
