#include "commands/DirectoryBatch.h"

#include "commands/ListedFiles.h"
#include "commands/StyleSheets.h"
#include "commands/WriteInOrder.h"
#include "platform/WriteBatch.h"
#include "text/TextDocument.h"

DirectoryBatch::Undo DirectoryBatch::Prepare(std::size_t count) {
    Undo undo;
    undo.ready = textsReady_;
    if (!textsReady_)
        // Texts that are not current are never shown or saved again, so a stop has
        // nothing to put back: they go now instead of doubling the command's peak.
        std::vector<std::string>().swap(texts_);
    undo.size = texts_.size();
    undo.stamps = stamps_;
    undo.ownBreaks = ownBreaks_;
    if (texts_.size() > count)
        undo.tail.assign(std::make_move_iterator(texts_.begin() + std::ptrdiff_t(count)),
                         std::make_move_iterator(texts_.end()));
    undo.texts.resize(count);
    texts_.resize(count);
    stamps_.resize(count);
    ownBreaks_.resize(count, LineBreakStyle::Lf);
    return undo;
}

void DirectoryBatch::Keep(Undo& undo, std::size_t i, const TextDocument& doc) {
    undo.texts[i] = std::move(texts_[i]);
    texts_[i] = doc.WholeText();
    ownBreaks_[i] = doc.OwnBreaks();
    undo.done = i + 1;
}

void DirectoryBatch::Restore(Undo& undo) {
    for (std::size_t i = 0; i < undo.done; ++i)
        texts_[i] = std::move(undo.texts[i]);
    texts_.resize(undo.size);
    std::move(undo.tail.begin(), undo.tail.end(), texts_.end() - std::ptrdiff_t(undo.tail.size()));
    stamps_ = std::move(undo.stamps);
    ownBreaks_ = std::move(undo.ownBreaks);
    textsReady_ = undo.ready;
}

void DirectoryBatch::Fill(TextDocument& doc, const ListedFiles& files, std::size_t i) {
    doc.SetCharLimit(TextDocument::FileCharLimit);
    doc.SetPlainText(true);
    if (textsReady_) {
        // A copy: the kept text stays as it was should this file fail.
        doc.SetWholeText(texts_[i]);
        doc.SetOwnBreaks(ownBreaks_[i]);
    } else
        doc.ReadFromFile(files.Entry(i), &stamps_[i], listedFolder_);
}

void DirectoryBatch::Show(TextDocument& doc, const ListedFiles& files, std::size_t i) const {
    doc.SetCharLimit(TextDocument::FileCharLimit);
    doc.SetPlainText(true);
    if (textsReady_ && i < texts_.size()) {
        doc.AssignLines(texts_[i]);
        doc.SetOwnBreaks(ownBreaks_[i]);
    } else
        doc.ReadFromFile(files.Entry(i), nullptr, listedFolder_);
}

OptimizeDirOutcome DirectoryBatch::Apply(TextDocument& doc, const ListedFiles& files,
                                         const FileStep& step, const BatchControl& control) {
    if (step.optimize)
        return OptimizeAll(doc, files, control, step.optimizeOptions, step.breaks);
    OptimizeDirOutcome out;
    out.stopped = !ChangeAll(doc, files, step.change, control);
    return out;
}

bool DirectoryBatch::EditAll(TextDocument& doc, const ListedFiles& files,
                             const BatchControl& control,
                             const std::function<void(std::size_t)>& edit) {
    // Each file passes through the document on the caller's thread; nothing is
    // written, the new texts are kept.
    class EditSteps : public BatchSteps {
    public:
        EditSteps(DirectoryBatch& batch, TextDocument& doc, const ListedFiles& files,
                  const BatchControl& control, const std::function<void(std::size_t)>& edit)
            : batch_(batch), doc_(doc), files_(files), control_(control), edit_(edit),
              undo_(batch.Prepare(files.Count())) {}

        void Work(std::size_t i, FileRecord& record, WriteBatch&, const std::stop_token&,
                  bool) override {
            batch_.Fill(doc_, files_, i);
            edit_(i);
            batch_.Keep(undo_, i, doc_);
            record.state = FileStage::Edited;
            control_.Report(i + 1, files_.Count());
        }
        void Done(std::size_t, FileRecord&) override {}
        void Restore() { batch_.Restore(undo_); }

    private:
        DirectoryBatch& batch_;
        TextDocument& doc_;
        const ListedFiles& files_;
        const BatchControl& control_;
        const std::function<void(std::size_t)>& edit_;
        Undo undo_;
    };

    EditSteps steps(*this, doc, files, control, edit);
    BatchPolicy policy;
    policy.write = false;
    // Asked once more after the last file: a stop the caller saw is kept.
    if (RunBatch(files.Count(), steps, policy, control.stop).stopped || control.ShouldStop()) {
        steps.Restore();
        return false;
    }
    textsReady_ = true;
    return true;
}

OptimizeDirOutcome DirectoryBatch::OptimizeAll(TextDocument& doc, const ListedFiles& files,
                                               const BatchControl& control,
                                               const OptimizeOptions& options,
                                               LineBreakStyle breaks) {
    OptimizeDirOutcome out;
    // The sheets the pages link, read once for the whole command, inside the
    // listed folder only.
    StyleSheetCache sheets;
    const bool ended = EditAll(doc, files, control, [&](std::size_t i) {
        // An empty text is not optimized and adds nothing to either sum.
        PageStyleSheets linked(sheets, files.Entry(i), listedFolder_);
        OptimizeOptions withSheets = options;
        if (options.keepPre && options.styleSheets == nullptr)
            withSheets.styleSheets = &linked;
        const OptimizeRun run = OptimizeStep(doc, withSheets, breaks);
        out.lengthBefore += run.lengthBefore;
        out.lengthAfter += run.lengthAfter;
        if (run.hasPre) {
            out.preList += files.Entry(i);
            out.preList += ", ";
        }
    });
    if (!ended) {
        out = {};
        out.stopped = true;
    }
    return out;
}

bool DirectoryBatch::ChangeAll(TextDocument& doc, const ListedFiles& files,
                               const ChangeRequest& change, const BatchControl& control) {
    return EditAll(doc, files, control, [&](std::size_t) { ChangeStep(doc, change); });
}

SaveAllOutcome DirectoryBatch::SaveAll(TextDocument& doc, const ListedFiles& files,
                                       const BatchControl& control, LineBreakStyle breaks) {
    const std::size_t count = files.Count();
    // Each file's bytes are built in the document's own buffer just before the
    // file is written.
    const WrittenInOrder run = WriteFilesInOrder(
        count, [&](std::size_t i) { return files.Entry(i); },
        [&](std::size_t i) -> std::optional<std::string_view> {
            control.Report(i, count); // the files before this one are on their way
            if (control.ShouldStop())
                return std::nullopt;
            if (i < ownBreaks_.size())
                doc.SetOwnBreaks(ownBreaks_[i]);
            return SaveBytes(
                doc, i < texts_.size() ? std::string_view(texts_[i]) : std::string_view(), breaks);
        },
        kChunkFiles, kChunkBytes,
        [&](std::size_t i) {
            WriteOptions options;
            options.beneath = listedFolder_;
            if (i < stamps_.size())
                options.readAs = stamps_[i];
            return options;
        },
        [&](std::size_t i, const FileStamp& writtenAs) {
            // The file is this program's own now: should the save end before
            // the last file, Save All again writes it over without a complaint.
            // A stamp not known keeps the old one: that file is then refused.
            if (i < stamps_.size() && writtenAs.known)
                stamps_[i] = writtenAs;
        },
        control.stop);
    SaveAllOutcome out;
    out.written = run.written;
    if (run.stopped) {
        // The files before this one are written; the rest stay as they are.
        out.stopped = true;
        return out;
    }
    control.Report(count, count);
    textsReady_ = false;
    return out;
}
