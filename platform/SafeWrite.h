#pragma once
// Writing files so that each is either wholly old or wholly new, never half written,
// and keeps what the user set on it (permission bits, owner, group, extended
// attributes and so ACLs, its hard links, the symbolic link that leads to it).
//
// The new content goes into a temporary file beside the target (".<name>.vx-XXXXXXXXXXXX.tmp",
// see platform/TempNames.h; walks never list such names) and takes the target's
// place once it is durable; the commit checks that the name still holds exactly
// the file this process wrote. A file with several hard links, one in a folder
// where no file can be created (or an append-only one), or one whose owner or
// attributes a new file could not be given, is written in place instead, after
// its new size has been made sure of on the disk, so that a full disk fails
// before any byte changes. Its new bytes wait, and its old bytes are kept to be
// put back after a failure, in a temporary beside it that only this account can
// read (in memory, up to InPlaceMemoryBytes, where the folder takes none). A file
// whose set-user-ID or set-group-ID bit or capabilities a write in place would
// take away for good, and one with several names on an overlay file system (a
// write would copy it up under one name only), is refused before any byte changes.
//
// Every failure throws WriteError; the target is untouched then.

#include "platform/FileStamp.h"
#include "platform/WriteTarget.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// A content made piece by piece: the producer calls the sink with each piece.
using ContentSink = std::function<void(std::string_view)>;
using ContentProducer = std::function<void(const ContentSink&)>;

enum class WriteFailure {
    System,            // the system's error number says why
    ChangedSinceRead,  // the file is no longer the one that was read
    TemporaryReplaced, // another program put something else under the temporary's name
    LosesSetUserId,    // written in place, it would lose its set-user-ID bit
    LosesSetGroupId,   // ... its set-group-ID bit
    LosesCapabilities, // ... its capabilities (security.capability)
    LinksOnOverlay,    // several names on an overlay file system, which a write would part
    TooLargeInMemory,  // written in place where no temporary can be made, and too large
};

// A file written in place where its folder takes no temporary file (no right to
// create one, or an append-only folder) holds its new and its old bytes in memory,
// each at most this much; a larger one is refused (WriteFailure::TooLargeInMemory).
constexpr std::size_t InPlaceMemoryBytes = std::size_t{16} << 20;

// A file that could not be written: its path as the caller named it, the error
// number, what kind of failure, and its index in the batch (the vector given to
// CommitWrites, or the file number of WriteFilesInOrder) where there is one.
class WriteError : public std::runtime_error {
public:
    static constexpr std::size_t NoIndex = static_cast<std::size_t>(-1);

    WriteError(std::string path, int errnum, WriteFailure kind = WriteFailure::System,
               std::size_t index = NoIndex);

    const std::string& Path() const { return path_; }
    int Errno() const { return errnum_; }
    WriteFailure Kind() const { return kind_; }
    std::size_t Index() const { return index_; }
    WriteError WithIndex(std::size_t index) const {
        return WriteError(path_, errnum_, kind_, index);
    }

private:
    std::string path_;
    int errnum_;
    WriteFailure kind_;
    std::size_t index_;
};

// "Cannot create file "<path>". <why>": the system's text for errnum, or the
// program's own words for the other kinds.
std::string WriteErrorMessage(const std::string& path, int errnum,
                              WriteFailure kind = WriteFailure::System);
// The same for a system error.
std::string CreateErrorMessage(const std::string& path, int errnum);

// How a file is to be reached and what it must still be.
struct WriteOptions {
    // Not empty: the file was found by a walk of this folder, and the write must
    // stay inside it. The folders from there to the file are opened without
    // following any symbolic link, and a link in the file's own place is followed
    // only where the link and the file it reaches have one owner; otherwise the
    // write fails with EACCES. Empty: the path is followed as given (the file the
    // user pointed at).
    std::string beneath;
    // When known: the file as it was read. The commit fails with
    // WriteFailure::ChangedSinceRead when the file in place is not this one any
    // more (or is gone; it is not created again).
    FileStamp readAs;
};

// One target's new content, written out but not yet put in place. Move-only; a
// pending write that is destroyed without being committed leaves no trace.
class PendingWrite {
public:
    PendingWrite() = default;
    PendingWrite(PendingWrite&& other) noexcept;
    PendingWrite& operator=(PendingWrite&& other) noexcept;
    PendingWrite(const PendingWrite&) = delete;
    PendingWrite& operator=(const PendingWrite&) = delete;
    ~PendingWrite();

    // The path as the caller named it (used in messages).
    const std::string& Path() const { return path_; }
    // The folder the bytes go to and the name in it (every link followed).
    const std::string& TargetFolder() const { return target_.folderPath; }
    const std::string& TargetName() const { return target_.name; }
    // The temporary file's name in the target folder; empty for a write in place.
    const std::string& TemporaryName() const { return tempName_; }
    std::string TemporaryPath() const {
        return tempName_.empty() ? std::string() : target_.folderPath + "/" + tempName_;
    }
    bool InPlace() const { return inPlace_; }
    bool Committed() const { return committed_; }
    // Once committed: the file now in place as this process left it (its stamp to
    // be read against by a later write); not known before.
    const FileStamp& WrittenAs() const { return writtenAs_; }

    // Removes the temporary file (nothing happens to the target).
    void Discard() noexcept;

    // Lets go of the descriptors it holds, so that thousands of writes can wait
    // together; the commit opens what it needs again and checks it is the same.
    void CloseDescriptor() noexcept;

private:
    friend class SafeWriteAccess;

    void RemoveHold() noexcept;
    // Lets go of the folder's lock this write held for its temporary.
    void LetFolderGo() noexcept;

    std::string path_;
    WriteTarget target_;
    std::string tempName_;
    std::string data_; // a write in place keeps its bytes until it is committed
    std::string old_;  // and the bytes it replaces, to put back after a failure
    bool oldKnown_ = false;
    // A write in place: the temporary holding its new bytes and then its old ones
    // (instead of data_ and old_), and what it is to be known again by.
    std::string holdName_;
    UniqueFd holdFd_;
    dev_t holdDevice_ = 0;
    ino_t holdInode_ = 0;
    struct timespec holdCtime_ {};
    std::size_t newSize_ = 0;
    // What the write takes away and gives back (the set-user-ID and set-group-ID
    // bits, the capability attribute).
    mode_t keepMode_ = 0;
    std::string keepCapability_;
    UniqueFd fd_;      // the temporary, or the target for a write in place
    dev_t device_ = 0; // what fd_ is, to know it again once closed
    ino_t inode_ = 0;
    struct timespec ctime_ {};
    off_t oldSize_ = 0;         // a write in place: the target's size when prepared
    bool growAtCommit_ = false; // no fallocate: the new size is made sure of at commit
    FileStamp readAs_;
    FileStamp writtenAs_;   // a replacement: the temporary as written, known at once
    bool replaces_ = false; // the target existed when the write was prepared
    bool inPlace_ = false;
    bool committed_ = false;
    bool holdsFolder_ = false; // one use of the folder's lock (platform/TemporaryLocks.h)
};

// Writes data into a temporary file beside the target (or, for a write in place,
// checks the target and makes sure of the new size) without touching the target.
PendingWrite PrepareWrite(const std::string& path, std::string_view data,
                          const WriteOptions& options = {});

// The same with the content made piece by piece: produce calls the sink it is given
// with each piece, in order, so a large content need never be whole in memory.
// Whatever produce throws passes on, and nothing is left behind.
PendingWrite PrepareWriteFrom(const std::string& path, const ContentProducer& produce,
                              const WriteOptions& options = {});

// Makes one pending write durable on its own (fsync) and puts it in place.
void CommitWrite(PendingWrite write);

// Makes every pending write durable (one syncfs per file system, per-file fsync
// where that fails), then puts them in place in order. On the first failure it
// throws WriteError for that file, with its index in writes: the writes before
// it stay done, the rest are discarded and their targets untouched. The vector is
// left empty.
void CommitWrites(std::vector<PendingWrite>& writes);

class RetiredFiles;
class RoomWatch;

// Told of each file a batch put in place, as soon as it is there: its index (in
// the vector given, or the file number of WriteFilesInOrder) and the stamp of the
// file this process left there, taken when it was written, not looked up again.
using CommittedFile = std::function<void(std::size_t index, const FileStamp& writtenAs)>;

// Many files written together: prepared (on any threads) and committed in chunks.
// The files a batch replaces are deleted together, not one by one between its
// writes: on some file systems (ext4 without a journal) every new file costs more
// the more files were deleted in the last minutes, so deleting as it goes would
// make a large batch slower with every file. Until then each one lies under its
// replacement's temporary name, in its own folder, with its own owner, mode and
// ACL (readable by exactly those who could read it before), and is never written
// into. They are deleted when the batch ends, and after a commit once they are
// many (kMaxRetiredFiles, kMaxRetiredBytes, or kMaxRetiredFolders folders), or
// when the free space left is no more than what the batch holds: a batch needs
// room for the files in flight, not for the whole tree.
class WriteBatch {
public:
    WriteBatch();
    ~WriteBatch(); // deletes the replaced files
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;

    PendingWrite Prepare(const std::string& path, const ContentProducer& produce,
                         const WriteOptions& options = {});
    // As CommitWrites; committed, when given, is told of each file put in place.
    void Commit(std::vector<PendingWrite>& writes, const CommittedFile& committed = {});

    // True when the file system's free space is no more than what the batch holds
    // there (the temporaries prepared since the last commit and the replaced files
    // kept): the caller commits what it has prepared, and the commit deletes the
    // replaced files. Called on the thread that commits.
    bool RoomRunsLow();

    static constexpr std::size_t kMaxRetiredFiles = 8192;
    static constexpr std::size_t kMaxRetiredBytes = std::size_t{256} << 20;
    static constexpr std::size_t kMaxRetiredFolders = 32;

private:
    std::unique_ptr<RetiredFiles> retired_;
    std::unique_ptr<RoomWatch> room_;
};

// One file: prepare, fsync, put in place.
void WriteWholeFile(const std::string& path, std::string_view data,
                    const WriteOptions& options = {});

// Writes count files in order, a chunk at a time. contentOf(i) gives the bytes of
// file i; they need to stay valid only until the next call, so the caller can build
// each file's bytes in one reused buffer. optionsOf(i), when given, says how file i
// is reached and what it must still be. Files are committed in chunks of at most
// chunkFiles files or about chunkBytes bytes. When file k cannot be prepared (or
// contentOf throws), the files before it are committed first and the error is
// passed on (a WriteError with index k): files before the failing one are
// written, the rest untouched. committed, when given, is told of each file put in
// place with its new stamp, also of those put in place before a failure.
void WriteFilesInOrder(std::size_t count, const std::function<std::string(std::size_t)>& pathOf,
                       const std::function<std::string_view(std::size_t)>& contentOf,
                       std::size_t chunkFiles = 256, std::size_t chunkBytes = std::size_t{16} << 20,
                       const std::function<WriteOptions(std::size_t)>& optionsOf = {},
                       const CommittedFile& committed = {});
