#include "cli/Runner.h"

#include "cli/FileList.h"
#include "cli/Pipeline.h"
#include "cli/Progress.h"
#include "cli/Report.h"
#include "platform/SafeWrite.h"
#include "text/TextDocument.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace {

class Run {
public:
    Run(const std::vector<ListEntry>& entries, const PipelineSettings& settings,
        const RunLimits& limits, Reporter& reporter, ProgressBar& progress)
        : entries_(entries), settings_(settings), limits_(limits), reporter_(reporter),
          progress_(progress), results_(entries.size()), ready_(entries.size(), 0),
          refused_(entries.size()) {}

    void Go();

private:
    void Worker();
    FileOutcome Process(std::size_t i);
    void Commit(std::vector<std::size_t>& chunk);
    void Report(std::size_t i);
    void FindBackupClashes();

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
    std::size_t done_ = 0;
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

FileOutcome Run::Process(std::size_t i) {
    if (refused_[i]) {
        FileOutcome out;
        out.failed = true;
        out.error = *refused_[i];
        return out;
    }
    thread_local TextDocument doc;
    thread_local std::string raw;
    FileOutcome out = ProcessFile(settings_, entries_[i], doc, raw, &batch_);
    // Whole-file buffers are large: let a worker keep them only while they are small.
    if (raw.capacity() > (std::size_t{64} << 20)) {
        std::string().swap(raw);
        doc = TextDocument();
    }
    return out;
}

void Run::Worker() {
    for (;;) {
        std::size_t i = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            roomFree_.wait(lock,
                           [&] { return next_ >= entries_.size() || next_ < reported_ + window_; });
            if (next_ >= entries_.size())
                return;
            i = next_++;
        }
        FileOutcome out = Process(i);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            results_[i] = std::move(out);
            ready_[i] = 1;
        }
        resultReady_.notify_all();
    }
}

void Run::Report(std::size_t i) {
    const FileOutcome& o = results_[i];
    if (o.failed || o.hasPre)
        progress_.Clear();
    reporter_.File(entries_[i], o);
    results_[i] = FileOutcome();
    progress_.Update(++done_);
}

void Run::Commit(std::vector<std::size_t>& chunk) {
    std::vector<PendingWrite> writes;
    std::vector<std::size_t> order;
    if (!settings_.dryRun) {
        for (std::size_t i : chunk) {
            if (!results_[i].failed && !results_[i].writtenDirectly) {
                writes.push_back(std::move(results_[i].pending));
                order.push_back(i);
            }
        }
    }
    std::vector<std::size_t> again; // discarded by a failure before them
    try {
        batch_.Commit(writes);
    } catch (const std::exception& e) {
        // The writes before the failing one are in place, the rest discarded.
        const std::string message = e.what();
        std::size_t failing = order.size();
        for (std::size_t k = 0; k < order.size(); ++k) {
            const std::string prefix = "Cannot create file \"" + entries_[order[k]].path + "\". ";
            if (message.compare(0, prefix.size(), prefix) == 0) {
                failing = k;
                break;
            }
        }
        if (failing == order.size())
            failing = 0;
        results_[order[failing]].failed = true;
        results_[order[failing]].error = message;
        again.assign(order.begin() + static_cast<std::ptrdiff_t>(failing) + 1, order.end());
    }
    // Files whose finished work was discarded are worked again, one at a time;
    // their targets are untouched.
    for (std::size_t i : again) {
        results_[i] = Process(i);
        std::vector<PendingWrite> single;
        if (!results_[i].failed && !results_[i].writtenDirectly) {
            single.push_back(std::move(results_[i].pending));
            try {
                batch_.Commit(single);
            } catch (const std::exception& e) {
                results_[i].failed = true;
                results_[i].error = e.what();
            }
        }
    }
    for (std::size_t i : chunk)
        Report(i);
    chunk.clear();
}

void Run::Go() {
    FindBackupClashes();
    const std::size_t n = entries_.size();
    const unsigned jobs = std::max(1u, limits_.jobs);
    window_ = limits_.chunkFiles + 4 * std::size_t{jobs};

    std::vector<std::thread> workers;
    if (jobs > 1) {
        for (unsigned w = 0; w < std::min<std::size_t>(jobs, n); ++w)
            workers.emplace_back([this] { Worker(); });
    }

    std::vector<std::size_t> chunk;
    std::size_t chunkBytes = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (workers.empty()) {
            results_[i] = Process(i);
        } else {
            std::unique_lock<std::mutex> lock(mutex_);
            resultReady_.wait(lock, [&] { return ready_[i] != 0; });
        }
        chunk.push_back(i);
        chunkBytes += results_[i].failed ? 0 : results_[i].after;
        if (chunk.size() >= limits_.chunkFiles || chunkBytes >= limits_.chunkBytes || i + 1 == n) {
            Commit(chunk);
            chunkBytes = 0;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                reported_ = i + 1;
            }
            roomFree_.notify_all();
        }
    }
    for (std::thread& t : workers)
        t.join();
    progress_.Clear();
}

} // namespace

void RunFiles(const std::vector<ListEntry>& entries, const PipelineSettings& settings,
              const RunLimits& limits, Reporter& reporter, ProgressBar& progress) {
    Run run(entries, settings, limits, reporter, progress);
    run.Go();
}
