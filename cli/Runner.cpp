#include "cli/Runner.h"

#include "cli/BackupCopy.h"
#include "cli/FileList.h"
#include "cli/Pipeline.h"
#include "cli/Progress.h"
#include "cli/Report.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <stop_token>

namespace {

// What velocitrix-cli does to each file of the run: the pipeline, the backup
// copies' clashes found before, and the report in list order. A file's outcome
// lives from its work to its report, so only the run's window of them is kept.
class CliSteps : public BatchSteps {
public:
    CliSteps(const std::vector<ListEntry>& entries, const PipelineSettings& settings,
             std::size_t window, Reporter& reporter, ProgressBar& progress)
        : entries_(entries), settings_(settings), reporter_(reporter), progress_(progress),
          outcomes_(std::min(entries.size(), window)) {
        FindBackupClashes();
    }

    void Work(std::size_t i, FileRecord& record, WriteBatch& batch, const std::stop_token&,
              bool again) override {
        FileOutcome& o = outcomes_[i % outcomes_.size()];
        if (const auto refused = refused_.find(i); refused != refused_.end()) {
            o.failed = true;
            o.error = refused->second;
        } else if (again) {
            const FileRetry retry{record.readAs, o.backupPath};
            o = ProcessFile(settings_, entries_[i], &batch, &retry);
        } else {
            o = ProcessFile(settings_, entries_[i], &batch);
        }
        record.readAs = o.readAs;
        record.bytes = o.after;
        if (o.stopped)
            record.state = FileStage::NotReached;
        else if (o.failed) {
            record.state = FileStage::Failed;
            record.error = o.error;
        } else if (o.writtenDirectly)
            record.state = FileStage::Written;
        else if (o.written) {
            record.state = FileStage::Edited;
            record.pending = std::move(o.pending);
        } else
            record.state = o.changed ? FileStage::Edited : FileStage::Unchanged;
    }

    void Done(std::size_t i, FileRecord& record) override {
        FileOutcome& o = outcomes_[i % outcomes_.size()];
        if (record.state != FileStage::NotReached) {
            if (record.state == FileStage::Failed) {
                o.failed = true; // also where its commit failed
                o.error = record.error;
            }
            if (o.failed || o.hasPre)
                progress_.Clear();
            reporter_.File(entries_[i], o);
            progress_.Update(++done_);
        }
        o = FileOutcome();
    }

private:
    // Two entries whose copies would land on one backup path: the later ones
    // fail, so that no original's copy is lost.
    void FindBackupClashes() {
        if (settings_.backupDir.empty() || settings_.dryRun)
            return;
        std::map<std::string, std::size_t> taken;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            const std::string path = BackupPathOf(settings_.backupDir, entries_[i]);
            if (!taken.emplace(path, i).second)
                refused_.emplace(i, CreateErrorMessage(path, EEXIST));
        }
    }

    const std::vector<ListEntry>& entries_;
    const PipelineSettings& settings_;
    Reporter& reporter_;
    ProgressBar& progress_;
    std::vector<FileOutcome> outcomes_;
    std::map<std::size_t, std::string> refused_; // failures known before the work
    std::size_t done_ = 0;
};

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
    BatchPolicy policy;
    policy.write = !settings.dryRun;
    policy.jobs = limits.jobs;
    policy.chunkFiles = limits.chunkFiles;
    policy.chunkBytes = limits.chunkBytes;
    policy.window = limits.window;
    CliSteps steps(entries, settings, BatchWindow(policy), reporter, progress);
    const BatchOutcome run = RunBatch(entries.size(), steps, policy, settings.stop);
    progress.Clear();
    return !run.stopped;
}
