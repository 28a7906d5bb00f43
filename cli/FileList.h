#pragma once
// The list of files a run works on, built as the main window's "Load Dir" builds
// its file list: each directory walked by the scanner's own walk (DirWalk.h: one
// directory, optionally with its subdirectories, every entry whose name matches a
// mask, directories included), full paths with exactly one "/" between directory
// and name, sorted alphabetically with the ASCII letters' case ignored.

#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

struct ListEntry {
    std::string path;   // as it is read and written
    std::string origin; // the PATH argument it came from
    std::string rel;    // the path below that argument (the name for a file argument)
};

struct FileList {
    std::vector<ListEntry> entries;
    // Walks that ended before their end (the scanner stops at an entry whose
    // time it cannot express, as the main window's scans do), and folders a walk
    // could not read.
    std::vector<std::string> warnings;
    // Safe writes' temporaries (platform/TempNames.h) the walks met and left out,
    // sorted as the entries (each path once).
    std::vector<ListEntry> leftovers;
};

// The program's default masks (DefaultTypeList of settings/FileTypeLists.h).
extern const char* const CliDefaultTypeList;

// A directory argument as the scanner's start directory: trailing "/" made one.
std::string StartDirectory(const std::string& dir);

// Lists every PATH: a directory is walked with the masks (recursive as asked),
// anything else (a file, or a name that does not exist) is taken as it is. The
// result is sorted; a file named twice (the same path, or another name of the
// same file) is kept once, at its first place. A stop requested through stop
// ends the list where it is (incomplete; the caller is stopping): a walk at its
// next entry, the sort within a few thousand comparisons. With helpers, that
// many threads walk subfolders while the walk goes on (the list is the same).
FileList BuildFileList(const std::vector<std::string>& paths, const std::string& types,
                       bool recursive, std::stop_token stop = {}, unsigned helpers = 0);

// The masks of the user's store, read by the main window's own start-up read
// (ReadSavedOptions: "filetypes", with the default list when "filetypes" and
// "unchecked" are both empty). Throws the store's error ("Invalid data type for
// '<name>'").
std::string ReadSavedFileTypes();

// Throws the mask error ("'%s' is an invalid mask at (%d)") for a bad list.
void CheckMaskList(const std::string& types);
