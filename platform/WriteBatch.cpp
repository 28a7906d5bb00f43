#include "platform/WriteBatch.h"

#include "platform/RetiredFiles.h"
#include "platform/WriteError.h"
#include "platform/WriteState.h"

#include <algorithm>
#include <fcntl.h>
#include <mutex>
#include <sys/statvfs.h>

// The free space on the file system a batch writes to, against what the batch
// holds there: the temporaries written since its last commit and the replaced
// files not yet deleted. Looked at (statvfs) only when the bytes written since
// the last look may have used up what was free, so a batch on a roomy disk
// looks once.
class RoomWatch {
public:
    // bytes were written on device; folder is a folder there.
    void Written(int folder, dev_t device, std::size_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        inFlight_ += bytes;
        if (device != device_ || !anchor_.Valid()) {
            anchor_.Reset(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
            device_ = device;
            Measure();
            return;
        }
        free_ -= std::min(free_, bytes);
    }
    void Committed() {
        std::lock_guard<std::mutex> lock(mutex_);
        inFlight_ = 0;
    }
    // True when what is free is no more than what the batch holds.
    bool Low(std::size_t retired) {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::size_t held = inFlight_ + retired;
        if (!anchor_.Valid() || held == 0 || free_ > held)
            return false;
        Measure(); // another program may have freed some meanwhile
        return free_ <= held;
    }
    void Freed() {
        std::lock_guard<std::mutex> lock(mutex_);
        Measure();
    }

private:
    void Measure() {
        struct statvfs vfs {};
        if (anchor_.Valid() && ::fstatvfs(anchor_.Get(), &vfs) == 0)
            free_ = static_cast<std::size_t>(vfs.f_bavail) * vfs.f_frsize;
        else
            free_ = static_cast<std::size_t>(-1); // nothing known: never low
    }

    std::mutex mutex_;
    UniqueFd anchor_; // a folder on the file system watched
    dev_t device_ = 0;
    std::size_t free_ = 0;
    std::size_t inFlight_ = 0;
};

WriteBatch::WriteBatch()
    : retired_(std::make_unique<RetiredFiles>()), room_(std::make_unique<RoomWatch>()) {}

WriteBatch::~WriteBatch() = default;

PendingWrite WriteBatch::Prepare(const std::string& path, const ContentProducer& produce,
                                 const WriteOptions& options) {
    std::size_t bytes = 0;
    PendingWrite w = PrepareWriteFrom(
        path,
        [&](const ContentSink& sink) {
            produce([&](std::string_view piece) {
                bytes += piece.size();
                sink(piece);
            });
        },
        options);
    WriteState& s = *w.State();
    if (!s.InPlace() && s.Folder() == 0)
        room_->Written(s.target.folder.Get(), s.Replacement().temp.device, bytes);
    return w;
}

bool WriteBatch::RoomRunsLow() {
    return room_->Low(retired_->Bytes());
}

void WriteBatch::Commit(std::vector<PendingWrite>& writes, const CommittedFile& committed) {
    // However the commit ends, the replaced files it kept count against the bounds.
    struct AfterCommit {
        WriteBatch& batch;
        ~AfterCommit() {
            RetiredFiles& retired = *batch.retired_;
            const bool many = retired.Count() >= kMaxRetiredFiles ||
                              retired.Bytes() >= kMaxRetiredBytes ||
                              retired.Folders() >= kMaxRetiredFolders;
            batch.room_->Committed();
            if (retired.Count() > 0 && (many || batch.RoomRunsLow())) {
                retired.DeleteAll();
                batch.room_->Freed();
            }
        }
    } after{*this};
    CommitInOrder(writes, false, retired_.get(), committed);
}
