#pragma once
// The directory walk of the window's scanner and of velocitrix-cli: the entries
// of one folder (optionally of its subfolders too, each entered where its folder
// lists it) whose names match a mask list and whose attributes include a chosen
// set, in the order the folders list them. Plain C++, no Qt.
//
// The rules it keeps:
// - a subfolder is opened through its parent's descriptor, never through a
//   symbolic link: a link to a folder is reported when it matches, not entered;
// - folders from a depth of 32 on let go of their descriptors while the walk is
//   below them and are opened again by name afterwards, and only when they are
//   the very folder left (same device and inode), so a walk holds about 32
//   descriptors however deep the tree and a folder swapped meanwhile is not
//   entered;
// - a folder that could not be opened or read to its end is an unread folder
//   (one gone or made a file since it was listed has nothing to miss);
// - safe writes' temporaries (platform/TempNames.h) are neither reported nor
//   entered, only handed over as leftovers; a folder is never a temporary;
// - on one device (DirWalkOptions::sameDevice) folders of other devices are
//   reported but not entered.
//
// System calls: the names and kinds come from the listing (the entry type
// getdents gives); an entry is looked at (fstatat relative to its open folder)
// only when it is reported (its size and time), when the listing does not tell
// its kind, when the read-only bit is asked for, or when a folder's device
// matters; at most once following a link and once not, never by its full path.
//
// A stop requested through the token ends the walk before its next entry: no
// folder is read to its end before the token is looked at again.

#include "platform/DirList.h"
#include "scanner/Masks.h"

#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

// A folder the walk could not open, or could not read to its end.
struct UnreadFolder {
    std::string path;
    int error = 0; // the errno
};

struct DirWalkOptions {
    bool recursive = false;
    std::int32_t attributeMask = 0;     // the attribute bits (kAttr...) an entry must have
    const TCollection* masks = nullptr; // the names reported (none: no name)
    bool sameDevice = false;            // enter only folders on this device
    std::uint64_t device = 0;
};

// A matching entry, as the walk reports it.
struct DirWalkEntry {
    std::string_view name;
    const std::string& folder; // the start path, then the names of the folders below it
    TFindData& data;           // attributes, size and time (a link followed); may be moved from
    // The regular file the entry names (a link followed), to tell two names of
    // one file apart; regular is false for anything else.
    bool regular = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// What the walk meets. Exceptions thrown here pass out of the walk, which closes
// what it opened; what was handed over before stays handed over.
class DirWalkSink {
public:
    virtual ~DirWalkSink();
    // A folder the walk is about to open.
    virtual void Folder(const std::string& path);
    // A matching entry. Answering false ends the walk's descent: from then on no
    // folder is entered or opened again, and the walk only lists the rest of the
    // folders it has open (their matching entries still come here, their
    // leftovers and read errors too).
    virtual bool Entry(DirWalkEntry& entry) = 0;
    // The full path of a safe write's temporary.
    virtual void Leftover(std::string path);
    virtual void Unread(UnreadFolder folder);
    // A subfolder the walk is about to enter: name inside parent, the folder
    // being listed. Answering true takes it over (to walk it elsewhere, opened
    // through parent and given to WalkOpenedFolder): the walk goes on without
    // entering it.
    virtual bool TakeFolder(const TDirListing& parent, const char* name, const std::string& path);
};

enum class DirWalkEnd {
    Finished, // every folder listed (or left as the sink asked, or unread)
    Stopped,  // the stop token ended it
};

// Walks the folder at path (an empty path: the current folder; a link to a
// folder is followed here only).
DirWalkEnd WalkDirectoryTree(const std::string& path, const DirWalkOptions& options,
                             DirWalkSink& sink, std::stop_token stop);

// Walks a folder a sink took over, opened through its parent, as the walk it was
// taken from would have (path: its full path). It holds its own descriptors.
DirWalkEnd WalkOpenedFolder(std::unique_ptr<TDirListing> folder, std::string path,
                            const DirWalkOptions& options, DirWalkSink& sink, std::stop_token stop);
