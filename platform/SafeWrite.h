#pragma once
// Writing files so that each is either wholly old or wholly new, never half written,
// and keeps what the user set on it (permission bits, owner, group, extended
// attributes and so ACLs, its hard links, the symbolic link that leads to it).
//
// The new content goes into a temporary file beside the target (".<name>.vx-XXXXXX.tmp",
// a name no file-type mask such as "*.htm" matches) and is renamed over the target
// once it is durable. A file with several hard links, or one in a directory where
// no file can be created, is written in place instead, after its new size has been
// reserved on the disk so that a full disk fails before any byte changes.
//
// Every failure throws std::runtime_error "Cannot create file "<path>". <system text>"
// with the path as the caller gave it; the target is untouched then.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

class SparePool;

// A content made piece by piece: the producer calls the sink with each piece.
using ContentSink = std::function<void(std::string_view)>;
using ContentProducer = std::function<void(const ContentSink&)>;

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
    // Where the bytes go: the path with every symbolic link followed.
    const std::string& Target() const { return target_; }
    // The temporary file; empty for a write in place.
    const std::string& TemporaryPath() const { return temp_; }
    bool InPlace() const { return inPlace_; }
    bool Committed() const { return committed_; }

    // Removes the temporary file (nothing happens to the target).
    void Discard() noexcept;

    // Lets go of the temporary file's descriptor, so that thousands of writes can
    // wait together; the commit opens the file again where it needs to flush it.
    // A write in place keeps its descriptor.
    void CloseDescriptor() noexcept;

private:
    friend PendingWrite PrepareWriteFrom(const std::string& path, const ContentProducer& produce);
    friend void CommitWrites(std::vector<PendingWrite>& writes);
    friend class SafeWriteAccess;
    friend class SparePool;

    std::string path_;
    std::string target_;
    std::string temp_;
    std::string data_; // a write in place keeps its bytes until it is committed
    int fd_ = -1;
    dev_t device_ = 0;
    bool inPlace_ = false;
    bool replaces_ = false; // the temporary is to take the place of an existing file
    // Where the temporary lies, when its batch keeps replaced files for reuse.
    std::uint64_t mount_ = 0;
    uid_t tempDirOwner_ = 0;
    bool tempDirPrivate_ = false;
    bool committed_ = false;
};

// Writes data into a temporary file beside the target (or, for a write in place,
// opens the target and reserves the new size) without touching the target.
PendingWrite PrepareWrite(const std::string& path, std::string_view data);

// The same with the content made piece by piece: produce calls the sink it is given
// with each piece, in order, so a large content need never be whole in memory.
// Whatever produce throws passes on, and nothing is left behind.
PendingWrite PrepareWriteFrom(const std::string& path, const ContentProducer& produce);

// Makes one pending write durable on its own (fsync) and puts it in place.
void CommitWrite(PendingWrite write);

// Makes every pending write durable (one syncfs per file system, per-file fsync
// where that fails), then puts them in place in order. On the first failure it
// throws for that file: the writes before it stay done, the rest are discarded and
// their targets untouched. The vector is left empty.
void CommitWrites(std::vector<PendingWrite>& writes);

// Many files written together. A batch keeps each file it replaces under the
// temporary name its new version had and, once that is on the disk, writes a
// later file's content into it, instead of creating and deleting a file for every
// file written (on some file systems each creation costs more the more files were
// deleted just before). A replaced file is reused only where that is invisible: no
// one else has it open, it has the new target's owner and no extended attributes,
// and it lies in the target's folder or in one that only the target folder's
// owner may change. The batch deletes the replaced files it still keeps when it
// ends.
class WriteBatch {
public:
    WriteBatch();
    ~WriteBatch();
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;

    // PrepareWriteFrom for a file of the batch; several threads may prepare at once.
    PendingWrite Prepare(const std::string& path, const ContentProducer& produce);
    // CommitWrites for writes this batch prepared (one thread at a time).
    void Commit(std::vector<PendingWrite>& writes);

private:
    std::unique_ptr<SparePool> spares_;
};

// One file: prepare, fsync, put in place.
void WriteWholeFile(const std::string& path, std::string_view data);

// Writes count files in order, a chunk at a time. contentOf(i) gives the bytes of
// file i; they need to stay valid only until the next call, so the caller can build
// each file's bytes in one reused buffer. Files are committed in chunks of at most
// chunkFiles files or about chunkBytes bytes. When file k cannot be prepared (or
// contentOf throws), the files before it are committed first and the error is
// passed on: files before the failing one are written, the rest untouched.
void WriteFilesInOrder(std::size_t count, const std::function<std::string(std::size_t)>& pathOf,
                       const std::function<std::string_view(std::size_t)>& contentOf,
                       std::size_t chunkFiles = 256,
                       std::size_t chunkBytes = std::size_t{16} << 20);

// "Cannot create file "<path>". <system text for errnum>"
std::string CreateErrorMessage(const std::string& path, int errnum);
