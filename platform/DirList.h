#pragma once
// Directory listings for the scanner: every entry of one directory, "." and ".."
// included, with names as raw bytes; the attributes, size and last-write time
// of an entry are fetched only when asked for (one fstatat on the listing's
// directory descriptor). A listing can let go of its descriptor while a walk is
// deep below it (Suspend) and take its directory back afterwards (Reopen).

#include "platform/FileTime.h"
#include "platform/UniqueFd.h"

#include <cstdint>
#include <dirent.h>
#include <memory>
#include <stop_token>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

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

// An open directory stream, closed when it goes out of scope.
struct DirStreamCloser {
    void operator()(DIR* dir) const noexcept { closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirStreamCloser>;

class TDirListing {
public:
    // Lists the directory at path; an empty path lists the current directory.
    explicit TDirListing(const std::string& path);
    // Lists the subdirectory name of an open listing, never through a symbolic link.
    TDirListing(const TDirListing& parent, const char* name);
    ~TDirListing();
    TDirListing(const TDirListing&) = delete;
    TDirListing& operator=(const TDirListing&) = delete;

    // True while the listing holds a descriptor of its directory.
    bool IsOpen() const { return fd_ >= 0; }
    // The errno of a failed opening or reading (0 when there was none).
    int Error() const { return error_; }
    // Moves to the next entry; false at the end of the listing or on a read
    // error (then in Error()).
    bool Next();

    // Reads the entries not listed yet into memory and closes the directory:
    // Next() goes on with them, and the current entry is dropped. On a listing
    // already suspended and reopened, only closes the directory again. A stop
    // requested through stop ends the reading at the next entry (Error() is then
    // ECANCELED: the entries kept are not all).
    void Suspend(const std::stop_token& stop = {});
    // True when a suspended listing still has entries to give.
    bool HasPending() const { return dir_ == nullptr && next_ < pending_.size(); }
    // Opens a suspended listing's directory again as name inside parent, never
    // through a link, and keeps it only when it is the very directory suspended
    // (same device and inode). Returns 0, or the errno (ENOENT when another
    // directory has taken the name).
    int Reopen(const TDirListing& parent, const char* name);

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
    // The device and inode of the regular file the current entry names (a link
    // followed; no second look after Fill's); false when it names no regular file.
    bool RegularFileId(std::uint64_t& device, std::uint64_t& inode);

private:
    bool StatFollow();
    bool StatNoFollow();

    // An entry read ahead by Suspend: its name is at names_[offset].
    struct Pending {
        std::size_t offset;
        std::size_t length;
        unsigned char type;
    };

    UniqueDir dir_;     // null once suspended
    UniqueFd reopened_; // the directory's descriptor after a reopening
    int fd_ = -1;       // the directory's descriptor: dir_'s, or reopened_
    int error_ = 0;
    std::vector<Pending> pending_;
    std::string names_;
    std::size_t next_ = 0;
    bool known_ = false; // dev_ and ino_ hold the suspended directory's identity
    dev_t dev_ = 0;
    ino_t ino_ = 0;
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
