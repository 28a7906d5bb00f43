#include "commands/WriteInOrder.h"

#include "platform/WriteBatch.h"

#include <exception>

namespace {

class BytesInOrder : public BatchSteps {
public:
    BytesInOrder(const std::function<std::string(std::size_t)>& pathOf,
                 const std::function<std::optional<std::string_view>(std::size_t)>& contentOf,
                 const std::function<WriteOptions(std::size_t)>& optionsOf,
                 const CommittedFile& committed)
        : pathOf_(pathOf), contentOf_(contentOf), optionsOf_(optionsOf), committed_(committed) {}

    void Work(std::size_t i, FileRecord& record, WriteBatch& batch, const std::stop_token&,
              bool) override {
        try {
            const std::string path = pathOf_(i);
            const std::optional<std::string_view> bytes = contentOf_(i);
            if (!bytes) {
                record.state = FileStage::NotReached;
                return;
            }
            const WriteOptions options = optionsOf_ ? optionsOf_(i) : WriteOptions{};
            record.readAs = options.readAs;
            record.pending = batch.Prepare(
                path, [data = *bytes](const ContentSink& sink) { sink(data); }, options);
            record.pending.CloseDescriptor();
            record.bytes = bytes->size();
            record.state = FileStage::Edited;
        } catch (const WriteError& e) {
            record.state = FileStage::Failed;
            record.writeError = e.WithIndex(i);
            record.error = e.what();
        } catch (...) {
            record.state = FileStage::Failed;
            failure_ = std::current_exception();
            failureIndex_ = i;
        }
    }

    void Done(std::size_t i, FileRecord& record) override {
        if (record.state == FileStage::Failed && record.writeError)
            failedWrite_ = record.writeError;
        if (record.state != FileStage::Written)
            return;
        ++written_;
        if (committed_)
            committed_(i, record.writtenAs);
    }

    std::size_t Written() const { return written_; }
    // After a run that ended at file first's failure: throws it.
    [[noreturn]] void ThrowFailure(std::size_t first) const {
        if (failure_ && failureIndex_ == first)
            std::rethrow_exception(failure_);
        throw *failedWrite_;
    }

private:
    const std::function<std::string(std::size_t)>& pathOf_;
    const std::function<std::optional<std::string_view>(std::size_t)>& contentOf_;
    const std::function<WriteOptions(std::size_t)>& optionsOf_;
    const CommittedFile& committed_;
    std::size_t written_ = 0;
    std::optional<WriteError> failedWrite_;
    std::exception_ptr failure_; // what failed that was not a write
    std::size_t failureIndex_ = 0;
};

} // namespace

WrittenInOrder
WriteFilesInOrder(std::size_t count, const std::function<std::string(std::size_t)>& pathOf,
                  const std::function<std::optional<std::string_view>(std::size_t)>& contentOf,
                  std::size_t chunkFiles, std::size_t chunkBytes,
                  const std::function<WriteOptions(std::size_t)>& optionsOf,
                  const CommittedFile& committed, std::stop_token stop) {
    BytesInOrder steps(pathOf, contentOf, optionsOf, committed);
    BatchPolicy policy;
    policy.stopAtFirstFailure = true;
    policy.commitMadeOnStop = true;
    policy.chunkFiles = chunkFiles;
    policy.chunkBytes = chunkBytes;
    const BatchOutcome run = RunBatch(count, steps, policy, std::move(stop));
    if (run.endedAtFailure)
        steps.ThrowFailure(run.firstFailure);
    return {steps.Written(), run.stopped};
}
