#pragma once
// Many files written together (see platform/SafeWrite.h): prepared on any
// threads, committed in chunks, the files they replace deleted together.

#include "platform/CommitWrite.h"
#include "platform/PendingWrite.h"
#include "platform/PrepareWrite.h"

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
