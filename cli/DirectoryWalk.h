#pragma once
// One directory argument's walk for velocitrix-cli's file list, as the window's
// scan walks it. Helper threads may walk subfolders meanwhile: the walk is then
// cut into parts, joined afterwards into what one walk on one thread meets.

#include "cli/FileList.h"
#include "scanner/DirWalk.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

// A listed entry, with what tells two names of one regular file apart.
struct FoundFile {
    ListEntry entry;
    bool regular = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// What one part of a directory argument's walk met: the start folder's entries
// between two subfolders taken over by helpers (with the subfolders walked here
// meanwhile), or a taken subfolder's whole walk. The parts, in order, are what
// one walk on one thread meets.
struct WalkPart {
    bool taken = false;
    std::deque<FoundFile> found;
    std::vector<ListEntry> leftovers;
    std::vector<UnreadFolder> unread;
    bool ended = false;  // at an entry whose time the window cannot show
    bool failed = false; // by a failure (last is its message): the walk ends there
    std::string last;    // the folder of the last entry met, or the failure's message
    std::string path;    // taken: the subfolder's path
    // Not taken: the folders of the matching entries met, each once per run of them.
    std::vector<std::string> entryFolders;
    std::unique_ptr<TDirListing> folder; // taken: the subfolder, opened for its helper
};

// The parts joined as one walk on one thread meets them. After the entry that
// ends the walk no folder is entered: of the parts after it, only what the
// folders then open still give counts (their leftovers, read errors, and the
// folder of the last entry met).
void JoinParts(std::deque<WalkPart>& parts, const std::string& start, FileList& list,
               std::deque<FoundFile>& found);

// Walks the directory argument with the scanner's walk, up to helperCount
// threads walking subfolders while they are idle: what it lists goes to found,
// its leftovers and warnings to list.
void WalkDirectory(const std::string& argument, const std::string& types, bool recursive,
                   unsigned helperCount, FileList& list, std::deque<FoundFile>& found,
                   const std::stop_token& stop);
