#pragma once
// Many files written together (see platform/SafeWrite.h): prepared on any
// threads, committed in chunks, the files they replace deleted together.

#include "platform/CommitWrite.h"
#include "platform/PendingWrite.h"
#include "platform/PrepareWrite.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class RetiredFiles;
class RoomWatch;

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
//
// A batch whose writes are prepared on other threads can have those threads
// delete the replaced files (HandOverDeletions): a commit then hands them over
// once they are half the bounds above, and the next thread that calls
// DeleteHandedOver deletes them while the next chunk is committed. The files
// handed over count against the bounds and the free space until they are gone;
// where the two sets together reach the bounds, or free space runs low, the
// thread that commits deletes what is left itself, or waits for the thread that
// is at it.
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

    // Lets the commits hand the replaced files over to the threads that call
    // DeleteHandedOver. Called on the thread that commits, before its first commit.
    void HandOverDeletions() { handOver_ = true; }
    // Deletes the replaced files a commit handed over, when some wait and no other
    // thread is at them; returns at once otherwise (one atomic looked at). Any
    // thread; it takes what the commit took to delete them: the list of held
    // folders' lock once per folder (platform/TemporaryLocks.h), the free-space
    // watch's once.
    void DeleteHandedOver() noexcept;

    static constexpr std::size_t kMaxRetiredFiles = 8192;
    static constexpr std::size_t kMaxRetiredBytes = std::size_t{256} << 20;
    static constexpr std::size_t kMaxRetiredFolders = 32;

private:
    enum : int { kNoneHanded, kHanded, kDeleting };
    void AfterCommit() noexcept;
    bool Many(std::size_t files, std::size_t bytes, std::size_t folders, std::size_t part) const;
    bool HandedOverGone() const;
    void SettleHandedOver() noexcept;
    std::size_t BytesHeld() const;

    std::unique_ptr<RetiredFiles> retired_; // the committing thread's
    std::unique_ptr<RoomWatch> room_;
    // Handed over: belongs to the thread that moved handed_ from kHanded to
    // kDeleting until it sets kNoneHanded; the counts are the committing thread's.
    std::unique_ptr<RetiredFiles> handed_;
    std::atomic<int> handState_{kNoneHanded};
    std::size_t handedFiles_ = 0;
    std::size_t handedBytes_ = 0;
    std::size_t handedFolders_ = 0;
    bool handOver_ = false;
};
