#include "commands/BatchRun.h"

#include "platform/KeptFolders.h"
#include "platform/WorkerThreads.h"
#include "platform/WriteBatch.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace {

// The thread that commits waits for a file this far ahead of the one it needs
// (or for the end of the chunk) when the workers have not reached it: it then
// finds a run of files done instead of waking for each one.
constexpr std::size_t kWakeAhead = 32;

// The workers take files in list order, each its own; what they share is a few
// atomics, so that no worker waits for another. Each file's record belongs to
// the worker that works it until its ready flag is set, then to the thread that
// commits. Only the files of the window are in flight, so their records are a
// ring of that many, each emptied once its file is told.
class Run {
public:
    Run(std::size_t count, BatchSteps& steps, const BatchPolicy& policy, std::stop_token stop)
        : count_(count), steps_(steps), policy_(policy), stop_(std::move(stop)),
          jobs_(std::max(1u, policy.jobs)), window_(BatchWindow(policy)),
          chunkFiles_(std::clamp<std::size_t>(policy.chunkFiles, 1, window_)),
          records_(std::min(count, window_)),
          ready_(std::make_unique<std::atomic<unsigned char>[]>(count + 1)) {}

    BatchOutcome Go();

private:
    static constexpr unsigned char kDone = 1; // the file's record is ready
    static constexpr unsigned char kWake = 2; // look at the run's state

    void Worker();
    bool WaitFor(std::size_t i);
    void Interrupt();
    bool StopRequested() const { return stop_.stop_requested(); }
    void Commit(std::vector<std::size_t>& chunk);
    void WorkAgain(const std::vector<std::size_t>& files);
    void EndAtFailure(std::size_t failing);
    FileRecord& Record(std::size_t i) { return records_[i % records_.size()]; }
    void Tell(std::size_t i);

    const std::size_t count_;
    BatchSteps& steps_;
    const BatchPolicy& policy_;
    const std::stop_token stop_;
    const unsigned jobs_;
    const std::size_t window_;
    const std::size_t chunkFiles_;

    WriteBatch batch_; // before the records: their pending writes go first
    std::vector<FileRecord> records_;
    std::unique_ptr<std::atomic<unsigned char>[]> ready_;
    std::atomic<std::size_t> next_{0};     // the next file a worker takes
    std::atomic<std::size_t> told_{0};     // the files told to the driver
    std::atomic<std::size_t> wakeAt_{0};   // the file whose end wakes the committing thread
    std::atomic<bool> interrupted_{false}; // stop requested, or a worker failed
    WorkerThreads* workers_ = nullptr;
    std::size_t doneUpTo_ = 0; // the files told, on the committing thread
    bool endedAtFailure_ = false;
    std::size_t firstFailure_ = 0;
};

void Run::Interrupt() {
    interrupted_.store(true);
    // Wakes the committing thread where it waits, and the workers that wait for
    // room: told_ moves, so their waits end.
    const std::size_t at = wakeAt_.load();
    ready_[at].fetch_or(kWake);
    ready_[at].notify_all();
    told_.fetch_add(count_ + 1);
    told_.notify_all();
}

void Run::Worker() {
    struct OnFailure {
        Run& run;
        bool ok = false;
        ~OnFailure() {
            if (!ok)
                run.Interrupt();
        }
    } guard{*this};
    const KeepFolders kept; // each folder resolved once while this worker works in it
    for (;;) {
        // The files a commit replaced are deleted here, off the committing thread.
        batch_.DeleteHandedOver();
        const std::size_t i = next_.fetch_add(1);
        if (i >= count_)
            break;
        for (std::size_t told = told_.load(); i >= told + window_ && !interrupted_.load();
             told = told_.load()) {
            told_.wait(told);
            batch_.DeleteHandedOver();
        }
        if (interrupted_.load() || StopRequested())
            break;
        steps_.Work(i, Record(i), batch_, stop_, false);
        ready_[i].fetch_or(kDone);
        if (wakeAt_.load() == i)
            ready_[i].notify_all();
    }
    guard.ok = true;
}

// Waits until file i is worked; false when the run is to end first.
bool Run::WaitFor(std::size_t i) {
    if (workers_ == nullptr || workers_->Empty()) {
        if (StopRequested())
            return false;
        steps_.Work(i, Record(i), batch_, stop_, false);
        ready_[i].store(kDone);
        return true;
    }
    if ((ready_[i].load() & kDone) != 0)
        return !interrupted_.load();
    // Never past what the workers may run ahead to before the next commit.
    const std::size_t at = std::min({i + kWakeAhead, doneUpTo_ + window_ - 1, count_ - 1});
    wakeAt_.store(at);
    batch_.DeleteHandedOver(); // while the workers catch up
    for (;;) {
        if (interrupted_.load())
            return false;
        const unsigned char seen = ready_[at].load();
        if ((seen & (kDone | kWake)) != 0)
            break;
        ready_[at].wait(seen);
    }
    // The file waited for is done; the ones before it were taken earlier and are
    // done or nearly so.
    for (std::size_t k = i; k <= at; ++k) {
        if ((ready_[k].load() & kDone) != 0)
            continue;
        wakeAt_.store(k);
        for (unsigned char seen = ready_[k].load(); (seen & kDone) == 0; seen = ready_[k].load()) {
            if (interrupted_.load())
                return false;
            ready_[k].wait(seen);
        }
    }
    return !interrupted_.load();
}

void Run::EndAtFailure(std::size_t failing) {
    endedAtFailure_ = true;
    firstFailure_ = failing;
}

// File i's outcome goes to the driver, and its place in the ring is emptied for
// the file a window after it.
void Run::Tell(std::size_t i) {
    FileRecord& r = Record(i);
    steps_.Done(i, r);
    r = FileRecord();
}

void Run::WorkAgain(const std::vector<std::size_t>& files) {
    // Their targets are untouched; each is worked and committed on its own, and
    // must still be the file read the first time.
    for (std::size_t i : files) {
        FileRecord& r = Record(i);
        r.pending = PendingWrite();
        if (StopRequested()) {
            r.state = FileStage::NotReached;
            continue;
        }
        steps_.Work(i, r, batch_, stop_, true);
        if (r.state != FileStage::Edited || r.pending.State() == nullptr)
            continue;
        std::vector<PendingWrite> single;
        single.push_back(std::move(r.pending));
        try {
            batch_.Commit(single, [&](std::size_t, const FileStamp& writtenAs) {
                r.state = FileStage::Written;
                r.writtenAs = writtenAs;
            });
        } catch (const WriteError& e) {
            r.state = FileStage::Failed;
            r.writeError = e.WithIndex(i);
            r.error = e.what();
        }
    }
}

void Run::Commit(std::vector<std::size_t>& chunk) {
    std::vector<PendingWrite> writes;
    std::vector<std::size_t> order; // the file of each write
    for (std::size_t i : chunk) {
        FileRecord& r = Record(i);
        if (r.state == FileStage::Edited && r.pending.State() != nullptr) {
            if (!policy_.write) {
                r.pending = PendingWrite();
                continue;
            }
            writes.push_back(std::move(r.pending));
            order.push_back(i);
        }
    }
    try {
        if (!writes.empty())
            batch_.Commit(writes, [&](std::size_t k, const FileStamp& writtenAs) {
                FileRecord& r = Record(order[k]);
                r.state = FileStage::Written;
                r.writtenAs = writtenAs;
            });
    } catch (const WriteError& e) {
        // The writes before the failing one are in place, the rest discarded.
        const std::size_t k = e.Index() < order.size() ? e.Index() : 0;
        FileRecord& failed = Record(order[k]);
        failed.state = FileStage::Failed;
        failed.writeError = e.WithIndex(order[k]);
        failed.error = e.what();
        std::vector<std::size_t> after(order.begin() + static_cast<std::ptrdiff_t>(k) + 1,
                                       order.end());
        if (policy_.stopAtFirstFailure) {
            EndAtFailure(order[k]);
            for (std::size_t i : after)
                Record(i).state = FileStage::NotReached;
            // Nor is a file after the failing one without a write of its own done.
            for (std::size_t i : chunk)
                if (i > order[k] && Record(i).state != FileStage::Written)
                    Record(i).state = FileStage::NotReached;
        } else {
            WorkAgain(after);
        }
    }
    for (std::size_t i : chunk)
        Tell(i);
    doneUpTo_ = chunk.back() + 1;
    told_.store(doneUpTo_);
    told_.notify_all();
    chunk.clear();
}

BatchOutcome Run::Go() {
    BatchOutcome out;
    // A worker the system cannot start is done without: the run goes on with
    // those that started, or on this thread alone.
    WorkerThreads workers;
    workers_ = &workers;
    std::stop_callback onStop(stop_, [this] { Interrupt(); });
    if (jobs_ > 1) {
        const std::size_t room = WorkersWithRoom(std::min<std::size_t>(jobs_, count_));
        for (std::size_t w = 0; w < room; ++w)
            if (!workers.Start([this] { Worker(); }))
                break;
        if (!workers.Empty())
            batch_.HandOverDeletions();
    }
    // However the run ends, the workers are joined before the records go.
    struct Joined {
        Run& run;
        WorkerThreads& workers;
        ~Joined() {
            run.Interrupt();
            workers.Join();
        }
    } joined{*this, workers};

    const KeepFolders kept; // for the files worked here and the commits
    std::vector<std::size_t> chunk;
    std::size_t chunkBytes = 0;
    std::size_t i = 0;
    for (; i < count_; ++i) {
        if (!WaitFor(i) || Record(i).state == FileStage::NotReached) {
            out.stopped = true;
            if (policy_.commitMadeOnStop && !chunk.empty() && !workers.Failed())
                Commit(chunk);
            break;
        }
        FileRecord& r = Record(i);
        chunk.push_back(i);
        if (r.state == FileStage::Edited && r.pending.State() != nullptr)
            chunkBytes += r.bytes;
        if (r.state == FileStage::Failed && policy_.stopAtFirstFailure) {
            EndAtFailure(i);
            Commit(chunk); // the files before it
            break;
        }
        // Where the disk's free space runs low, the chunk ends early: its commit
        // deletes the files replaced so far.
        if (chunk.size() >= chunkFiles_ || chunkBytes >= policy_.chunkBytes || i + 1 == count_ ||
            batch_.RoomRunsLow()) {
            Commit(chunk);
            chunkBytes = 0;
            if (endedAtFailure_)
                break;
        }
    }
    // The files left: the workers stop, and what they made is not put in place
    // (a file a step put in place itself is told as written).
    Interrupt();
    workers.Join();
    for (std::size_t k = doneUpTo_; k < count_; ++k) {
        FileRecord& r = Record(k);
        if ((ready_[k].load() & kDone) == 0 || r.state != FileStage::Written)
            r.state = FileStage::NotReached;
        r.pending = PendingWrite();
        Tell(k);
    }
    workers.Rethrow();
    out.endedAtFailure = endedAtFailure_;
    out.firstFailure = firstFailure_;
    return out;
}

} // namespace

std::size_t BatchWindow(const BatchPolicy& policy) {
    // Two chunks: the workers make one while the one before it is committed.
    return policy.window != 0 ? policy.window
                              : 2 * policy.chunkFiles + 4 * std::size_t{std::max(1u, policy.jobs)};
}

BatchOutcome RunBatch(std::size_t count, BatchSteps& steps, const BatchPolicy& policy,
                      std::stop_token stop) {
    if (count == 0)
        return {};
    Run run(count, steps, policy, std::move(stop));
    return run.Go();
}
