#include "platform/WriteBatch.h"

#include "platform/RetiredFiles.h"
#include "platform/WriteError.h"
#include "platform/WriteState.h"

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <mutex>
#include <sys/statvfs.h>
#include <utility>

// The free space on the file system a batch writes to, against what the batch
// holds there: the temporaries written since its last commit and the replaced
// files not yet deleted. Looked at (statvfs) only when the bytes written since
// the last look may have used up what was free, so a batch on a roomy disk
// looks once.
class RoomWatch {
public:
    // bytes were written on device; folder is a folder there. Workers call it
    // for every file: on the device already watched it takes no lock.
    void Written(int folder, dev_t device, std::size_t bytes) {
        inFlight_.fetch_add(bytes, std::memory_order_relaxed);
        if (watching_.load(std::memory_order_acquire) && device_.load() == device) {
            std::size_t free = free_.load(std::memory_order_relaxed);
            while (!free_.compare_exchange_weak(free, free - std::min(free, bytes),
                                                std::memory_order_relaxed)) {
            }
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (watching_.load(std::memory_order_relaxed) && device_.load() == device)
            return;
        // Another file system: watched from here on (the device is set before
        // the flag that lets workers read it).
        watching_.store(false, std::memory_order_relaxed);
        anchor_.Reset(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
        device_.store(device);
        Measure();
        watching_.store(anchor_.Valid(), std::memory_order_release);
    }
    void Committed() { inFlight_.store(0, std::memory_order_relaxed); }
    // True when what is free is no more than what the batch holds.
    bool Low(std::size_t retired) {
        const std::size_t held = inFlight_.load(std::memory_order_relaxed) + retired;
        if (!watching_.load(std::memory_order_acquire) || held == 0 ||
            free_.load(std::memory_order_relaxed) > held)
            return false;
        std::lock_guard<std::mutex> lock(mutex_);
        Measure(); // another program may have freed some meanwhile
        return free_.load(std::memory_order_relaxed) <= held;
    }
    void Freed() {
        std::lock_guard<std::mutex> lock(mutex_);
        Measure();
    }

private:
    void Measure() {
        struct statvfs vfs {};
        if (anchor_.Valid() && ::fstatvfs(anchor_.Get(), &vfs) == 0)
            free_.store(static_cast<std::size_t>(vfs.f_bavail) * vfs.f_frsize);
        else
            free_.store(static_cast<std::size_t>(-1)); // nothing known: never low
    }

    std::mutex mutex_; // for a change of the file system watched and a measure
    std::atomic<bool> watching_{false};
    UniqueFd anchor_; // a folder on the file system watched
    std::atomic<dev_t> device_{0};
    std::atomic<std::size_t> free_{0};
    std::atomic<std::size_t> inFlight_{0};
};

WriteBatch::WriteBatch()
    : retired_(std::make_unique<RetiredFiles>()), room_(std::make_unique<RoomWatch>()),
      handed_(std::make_unique<RetiredFiles>()) {}

WriteBatch::~WriteBatch() {
    SettleHandedOver(); // the threads that delete are done with the batch by now
}

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

bool WriteBatch::HandedOverGone() const {
    return handState_.load(std::memory_order_acquire) == kNoneHanded;
}

std::size_t WriteBatch::BytesHeld() const {
    return retired_->Bytes() + (HandedOverGone() ? 0 : handedBytes_);
}

bool WriteBatch::RoomRunsLow() {
    return room_->Low(BytesHeld());
}

bool WriteBatch::Many(std::size_t files, std::size_t bytes, std::size_t folders,
                      std::size_t part) const {
    return files >= kMaxRetiredFiles / part || bytes >= kMaxRetiredBytes / part ||
           folders >= kMaxRetiredFolders / part;
}

void WriteBatch::DeleteHandedOver() noexcept {
    int state = kHanded;
    if (handState_.load(std::memory_order_relaxed) != kHanded ||
        !handState_.compare_exchange_strong(state, kDeleting, std::memory_order_acquire))
        return;
    handed_->DeleteAll();
    room_->Freed();
    handState_.store(kNoneHanded, std::memory_order_release);
    handState_.notify_all();
}

// Deletes the files handed over that no thread took, or waits for the thread
// that is deleting them. On the thread that commits.
void WriteBatch::SettleHandedOver() noexcept {
    int state = kHanded;
    if (handState_.compare_exchange_strong(state, kDeleting, std::memory_order_acquire)) {
        handed_->DeleteAll();
        handState_.store(kNoneHanded, std::memory_order_release);
        return;
    }
    while ((state = handState_.load(std::memory_order_acquire)) == kDeleting)
        handState_.wait(kDeleting, std::memory_order_acquire);
}

void WriteBatch::AfterCommit() noexcept {
    RetiredFiles& retired = *retired_;
    room_->Committed();
    const bool handedGone = HandedOverGone();
    if (retired.Count() == 0 && handedGone)
        return;
    if (RoomRunsLow()) {
        SettleHandedOver(); // also those handed over that no thread took yet
        retired.DeleteAll();
        room_->Freed();
        return;
    }
    if (retired.Count() == 0)
        return;
    if (!handOver_) {
        if (Many(retired.Count(), retired.Bytes(), retired.Folders(), 1)) {
            retired.DeleteAll();
            room_->Freed();
        }
        return;
    }
    if (!Many(retired.Count(), retired.Bytes(), retired.Folders(), 2))
        return;
    if (!handedGone) {
        // Those handed over before are not all gone: the two together are
        // bounded as one set would be.
        if (!Many(retired.Count() + handedFiles_, retired.Bytes() + handedBytes_,
                  retired.Folders() + handedFolders_, 1))
            return;
        SettleHandedOver();
    }
    handedFiles_ = retired.Count();
    handedBytes_ = retired.Bytes();
    handedFolders_ = retired.Folders();
    std::swap(retired_, handed_); // handed_ is empty: its files were deleted
    handState_.store(kHanded, std::memory_order_release);
}

void WriteBatch::Commit(std::vector<PendingWrite>& writes, const CommittedFile& committed) {
    // However the commit ends, the replaced files it kept count against the bounds.
    struct After {
        WriteBatch& batch;
        ~After() { batch.AfterCommit(); }
    } after{*this};
    CommitInOrder(writes, false, retired_.get(), committed);
}
