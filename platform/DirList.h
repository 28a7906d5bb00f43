#pragma once
// Directory listings for the scanner: every entry of one directory, "." and ".."
// included, with names as raw bytes; the attributes, size and last-write time
// of an entry are fetched only when asked for (one fstatat on the listing's
// directory descriptor).

#include "platform/FileTime.h"

#include <cstdint>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

// The attribute bits of an entry (the scanner's attribute mask uses the same values).
enum : std::int32_t {
    kAttrReadOnly = 0x01,  // the owner may not write
    kAttrHidden = 0x02,    // the name starts with "."
    kAttrSysFile = 0x04,   // neither a directory nor a regular file (FIFO, socket, device)
    kAttrVolumeID = 0x08,  // never set here
    kAttrDirectory = 0x10, // a directory
    kAttrArchive = 0x20,   // a regular file
};

// One entry as the scanner reports it.
struct TFindData {
    std::int32_t Attributes = 0;
    TFileTime LastWriteTime;
    std::uint32_t SizeHigh = 0;
    std::uint32_t SizeLow = 0;
    std::string Name;
    void Clear();
};

class TDirListing {
public:
    // Lists the directory at path; an empty path lists the current directory.
    explicit TDirListing(const std::string& path);
    // Lists the subdirectory name of an open listing, never through a symbolic link.
    TDirListing(const TDirListing& parent, const char* name);
    ~TDirListing();
    TDirListing(const TDirListing&) = delete;
    TDirListing& operator=(const TDirListing&) = delete;

    bool IsOpen() const { return dir_ != nullptr; }
    // Moves to the next entry; false at the end of the listing or on a read error.
    bool Next();

    // The current entry.
    const char* Name() const { return name_; }
    std::size_t NameLength() const { return nameLength_; }
    bool IsDotOrDotDot() const;

    // Attributes of the current entry, exact for the bits of wanted (the others
    // may be missing). Costs no system call when the entry's type is known from
    // the listing and the read-only bit is not wanted.
    std::int32_t AttributesFor(std::int32_t wanted);
    // True when the current entry is a directory itself (a link to one is not).
    bool IsRealDirectory();
    // The device of the current entry, not following a link; false when it is gone.
    bool DeviceOf(dev_t& device);
    // Everything about the current entry, a symbolic link standing for its target
    // (a dangling link is a plain file of size 0 with the link's own time).
    // False when the entry has disappeared since it was listed.
    bool Fill(TFindData& data);

private:
    bool StatFollow();
    bool StatNoFollow();

    DIR* dir_ = nullptr;
    const char* name_ = nullptr;
    std::size_t nameLength_ = 0;
    unsigned char type_ = 0;
    int statState_ = 0; // 0 none, 1 target stat in st_, 2 link's own stat in st_, -1 failed
    int lstatState_ = 0;
    struct stat st_ {};
    struct stat lst_ {};
};

// Attribute bits of a stat result and a name.
std::int32_t AttributesOf(const struct stat& st, const char* name);
