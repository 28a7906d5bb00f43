#include "cli/Runner.h"

#include "cli/BackupCopy.h"
#include "cli/FileList.h"
#include "cli/Pipeline.h"
#include "cli/Progress.h"
#include "cli/Report.h"
#include "platform/KeptFolders.h"
#include "platform/SafeWrite.h"
#include "platform/WorkerThreads.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>

namespace {

// How often a thread that waits looks whether the run is to stop: a signal
// handler cannot wake it.
constexpr std::chrono::milliseconds StopPoll{50};

class Run {
public:
    Run(const std::vector<ListEntry>& entries, const PipelineSettings& settings,
        const RunLimits& limits, Reporter& reporter, ProgressBar& progress)
        : entries_(entries), settings_(settings), limits_(limits), reporter_(reporter),
          progress_(progress), results_(entries.size()), ready_(entries.size(), 0),
          refused_(entries.size()) {}

    bool Go();

private:
    void Worker();
    FileOutcome Process(std::size_t i, const FileRetry* retry = nullptr);
    void Commit(std::vector<std::size_t>& chunk);
    void Report(std::size_t i);
    void FindBackupClashes();
    bool SameFolder(std::size_t a, std::size_t b) const {
        const std::string& x = entries_[a].path;
        const std::string& y = entries_[b].path;
        const std::size_t slash = x.rfind('/');
        return slash == y.rfind('/') && x.compare(0, slash, y, 0, slash) == 0;
    }
    bool StopRequested() const {
        return settings_.stopRequested != nullptr && settings_.stopRequested();
    }
    void Finish(std::size_t from);

    const std::vector<ListEntry>& entries_;
    const PipelineSettings& settings_;
    const RunLimits& limits_;
    Reporter& reporter_;
    ProgressBar& progress_;

    WriteBatch batch_; // before the results: their pending writes go first
    std::vector<FileOutcome> results_;
    std::vector<char> ready_;
    std::vector<std::optional<std::string>> refused_; // failures known before the work
    std::mutex mutex_;
    std::condition_variable resultReady_;
    std::condition_variable roomFree_;
    std::size_t next_ = 0;     // the next entry a worker takes
    std::size_t reported_ = 0; // entries reported so far
    std::size_t window_ = 0;   // how far the workers may run ahead of the reports
    std::size_t run_ = 1;      // how many consecutive entries a worker takes at once
    std::size_t done_ = 0;
    bool stopping_ = false; // no worker takes another entry
};

// Two entries whose copies would land on one backup path: the later ones fail,
// so that no original's copy is lost.
void Run::FindBackupClashes() {
    if (settings_.backupDir.empty() || settings_.dryRun)
        return;
    std::map<std::string, std::size_t> taken;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const std::string path = BackupPathOf(settings_.backupDir, entries_[i]);
        if (!taken.emplace(path, i).second)
            refused_[i] = CreateErrorMessage(path, EEXIST);
    }
}

FileOutcome Run::Process(std::size_t i, const FileRetry* retry) {
    if (refused_[i]) {
        FileOutcome out;
        out.failed = true;
        out.error = *refused_[i];
        return out;
    }
    return ProcessFile(settings_, entries_[i], &batch_, retry);
}

void Run::Worker() {
    const KeepFolders kept; // each folder resolved once while this worker works in it
    std::vector<FileOutcome> done;
    for (;;) {
        // A run of consecutive entries at a time: the files of a folder mostly go
        // to one worker, and the lock and the wake-up are had once per run.
        std::size_t first = 0;
        std::size_t end = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            while (!stopping_ && !StopRequested() && next_ < entries_.size() &&
                   next_ >= reported_ + window_)
                roomFree_.wait_for(lock, StopPoll);
            if (stopping_ || next_ >= entries_.size() || StopRequested())
                return;
            first = next_;
            const std::size_t last = std::min({entries_.size(), reported_ + window_, first + run_});
            // Past half a run, the run ends where the next folder begins.
            end = first + 1;
            while (end < last && (end - first < run_ / 2 || SameFolder(end - 1, end)))
                ++end;
            next_ = end;
        }
        done.clear();
        for (std::size_t i = first; i < end && !StopRequested(); ++i)
            done.push_back(Process(i));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (std::size_t k = 0; k < done.size(); ++k) {
                results_[first + k] = std::move(done[k]);
                ready_[first + k] = 1;
            }
        }
        resultReady_.notify_all();
    }
}

void Run::Report(std::size_t i) {
    FileOutcome& o = results_[i];
    if (!o.stopped) {
        if (o.failed || o.hasPre)
            progress_.Clear();
        reporter_.File(entries_[i], o);
        progress_.Update(++done_);
    }
    o = FileOutcome();
}

void Run::Commit(std::vector<std::size_t>& chunk) {
    std::vector<PendingWrite> writes;
    std::vector<std::size_t> order; // the entry of each write
    if (!settings_.dryRun) {
        for (std::size_t i : chunk) {
            if (!results_[i].failed && results_[i].written && !results_[i].writtenDirectly) {
                writes.push_back(std::move(results_[i].pending));
                order.push_back(i);
            }
        }
    }
    std::vector<std::size_t> again; // discarded by a failure before them
    try {
        batch_.Commit(writes);
    } catch (const WriteError& e) {
        // The writes before the failing one are in place, the rest discarded.
        const std::size_t failing = e.Index() < order.size() ? e.Index() : 0;
        results_[order[failing]].failed = true;
        results_[order[failing]].error = e.what();
        again.assign(order.begin() + static_cast<std::ptrdiff_t>(failing) + 1, order.end());
    }
    // Files whose finished work was discarded are worked again, one at a time;
    // their targets are untouched, and they must still be the files read (their
    // backup copies are made already).
    for (std::size_t i : again) {
        FileOutcome& o = results_[i];
        if (StopRequested()) {
            o.failed = o.stopped = true;
            continue;
        }
        const FileRetry retry{o.readAs, o.backupPath};
        o = Process(i, &retry);
        if (!o.failed && o.written && !o.writtenDirectly) {
            std::vector<PendingWrite> single;
            single.push_back(std::move(o.pending));
            try {
                batch_.Commit(single);
            } catch (const WriteError& e) {
                o.failed = true;
                o.error = e.what();
            }
        }
    }
    for (std::size_t i : chunk)
        Report(i);
    chunk.clear();
}

// After a stop: files already put in place on their own are reported; every
// other write is discarded.
void Run::Finish(std::size_t from) {
    for (std::size_t i = from; i < entries_.size(); ++i) {
        if (ready_[i] && !results_[i].failed && results_[i].writtenDirectly)
            Report(i);
        results_[i] = FileOutcome();
    }
}

bool Run::Go() {
    FindBackupClashes();
    const std::size_t n = entries_.size();
    const unsigned jobs = std::max(1u, limits_.jobs);
    window_ = limits_.window != 0 ? limits_.window : 2 * limits_.chunkFiles + 4 * std::size_t{jobs};
    const std::size_t chunkFiles = std::clamp<std::size_t>(limits_.chunkFiles, 1, window_);
    run_ = std::clamp<std::size_t>(window_ / (4 * std::size_t{jobs}), 1, 32);

    // A worker the system cannot start (no room for its stack under a limit on
    // the address space, too many threads) is done without: the run goes on with
    // those that started, or on this thread alone.
    // A worker whose work throws stops the run, and what it threw is passed on.
    WorkerThreads workers;
    if (jobs > 1) {
        for (unsigned w = 0; w < std::min<std::size_t>(jobs, n); ++w) {
            if (!workers.Start([this] { Worker(); }))
                break;
        }
    }

    const KeepFolders kept; // for the files worked here and the commits
    bool stopped = false;
    std::vector<std::size_t> chunk;
    std::size_t chunkBytes = 0;
    for (std::size_t i = 0; i < n && !stopped; ++i) {
        if (workers.Empty()) {
            results_[i] = Process(i);
            ready_[i] = 1;
        } else {
            std::unique_lock<std::mutex> lock(mutex_);
            while (!ready_[i] && !StopRequested() && !workers.Failed())
                resultReady_.wait_for(lock, StopPoll);
        }
        if (!ready_[i] || results_[i].stopped || StopRequested()) {
            stopped = true;
            break;
        }
        chunk.push_back(i);
        chunkBytes += results_[i].failed || !results_[i].written ? 0 : results_[i].after;
        // Where the disk's free space runs low, the chunk ends early: its commit
        // deletes the files replaced so far.
        if (chunk.size() >= chunkFiles || chunkBytes >= limits_.chunkBytes || i + 1 == n ||
            batch_.RoomRunsLow()) {
            Commit(chunk);
            chunkBytes = 0;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                reported_ = i + 1;
            }
            roomFree_.notify_all();
            stopped = StopRequested();
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    roomFree_.notify_all();
    workers.Join();
    if (stopped)
        Finish(reported_);
    progress_.Clear();
    workers.Rethrow();
    return !stopped;
}

} // namespace

RunLimits FitToOpenFiles(RunLimits limits, std::uint64_t openFiles, bool backups) {
    // A quarter of the limit, and a few more, stay for everything else.
    const std::uint64_t budget = openFiles - std::min(openFiles, openFiles / 4 + 16);
    const std::uint64_t perWorker = backups ? 6 : 4;
    constexpr std::uint64_t PerWrite = 2;
    const unsigned jobs = std::max(1u, limits.jobs);
    limits.jobs = static_cast<unsigned>(
        std::clamp<std::uint64_t>(budget / (2 * (perWorker + PerWrite)), 1, jobs));
    const std::uint64_t window =
        limits.window != 0 ? limits.window : 2 * limits.chunkFiles + 4 * std::uint64_t{limits.jobs};
    const std::uint64_t room = budget > limits.jobs * perWorker
                                   ? (budget - limits.jobs * perWorker) / PerWrite
                                   : std::uint64_t{1};
    limits.window = static_cast<std::size_t>(
        std::max<std::uint64_t>(std::min(window, room), std::uint64_t{limits.jobs}));
    limits.chunkFiles = std::clamp<std::size_t>(limits.chunkFiles, 1, limits.window);
    return limits;
}

bool RunFiles(const std::vector<ListEntry>& entries, const PipelineSettings& settings,
              const RunLimits& limits, Reporter& reporter, ProgressBar& progress) {
    Run run(entries, settings, limits, reporter, progress);
    return run.Go();
}
