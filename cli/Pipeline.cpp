#include "cli/Pipeline.h"

#include "cli/BackupCopy.h"
#include "cli/FileList.h"
#include "commands/StreamedStep.h"
#include "platform/FileIO.h"
#include "text/TextDocument.h"

#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>

namespace {

constexpr std::size_t DirectWriteBytes = std::size_t{8} << 20;

// The run is stopping: the file's work ends here.
struct Stopped {};

void StopPoint(const PipelineSettings& settings) {
    if (settings.stopRequested != nullptr && settings.stopRequested())
        throw Stopped{};
}

FileStep StepOf(const PipelineSettings& settings) {
    FileStep step;
    step.optimize = settings.optimize;
    step.change = {settings.find, settings.with, settings.caseSensitive};
    return step;
}

// Reads, edits and writes the file a piece at a time: a file of any size costs
// a few pieces' worth of memory.
void ProcessInPieces(const PipelineSettings& settings, const ListEntry& entry, FileOutcome& out,
                     WriteBatch* batch, const FileRetry* retry) {
    InputFile in(entry.path);
    out.readAs = in.Stamp();
    std::optional<BackupCopy> copy;
    if (retry != nullptr) {
        if (!(in.Stamp() == retry->readAs))
            throw WriteError(entry.path, 0, WriteFailure::ChangedSinceRead);
        out.backupPath = retry->backupPath;
    } else if (!settings.backupDir.empty() && !settings.dryRun) {
        // A copy that cannot be made stops the file before anything is written.
        struct stat st {};
        const mode_t mode = ::stat(entry.path.c_str(), &st) == 0 ? st.st_mode : 0600;
        copy.emplace(settings.backupDir, entry, mode);
    }
    constexpr std::size_t ReadBytes = PieceEditor::BlockBytes;
    thread_local std::unique_ptr<char[]> buffer(new char[ReadBytes]);
    const ContentSink* sink = nullptr;
    StreamedStep edit(
        StepOf(settings),
        [&sink](std::string_view piece) {
            if (sink != nullptr)
                (*sink)(piece);
        },
        TextDocument::ReadCharLimit);
    auto produce = [&](const ContentSink& to) {
        sink = &to;
        while (const std::size_t n = in.Read(buffer.get(), ReadBytes)) {
            StopPoint(settings);
            out.sizeOnDisk += n;
            const std::string_view piece(buffer.get(), n);
            if (copy)
                copy->Append(piece);
            try {
                edit.Feed(piece);
            } catch (const CharLimitError& e) {
                throw std::runtime_error(entry.path + ": " + e.what());
            }
        }
        try {
            const PieceFigures& figures = edit.Finish();
            out.before = figures.before;
            out.after = figures.after;
            out.changed = figures.changed;
            out.hasPre = figures.hasPre;
            out.empty = settings.optimize && figures.before == 0;
        } catch (const CharLimitError& e) {
            throw std::runtime_error(entry.path + ": " + e.what());
        }
    };
    if (settings.dryRun) {
        produce([](std::string_view) {});
        return;
    }
    const WriteOptions options = WriteOptionsOf(entry, out.readAs);
    PendingWrite write = batch != nullptr ? batch->Prepare(entry.path, produce, options)
                                          : PrepareWriteFrom(entry.path, produce, options);
    if (copy) {
        // The original's copy, made from the same reading, is on the disk before
        // the file itself can change.
        copy->Keep();
        out.backupPath = copy->Path();
    }
    if (out.after >= DirectWriteBytes) {
        // A large file is flushed on its own: a batch flush would also wait
        // for everything else the file system has still to write.
        StopPoint(settings);
        CommitWrite(std::move(write));
        out.writtenDirectly = true;
    } else {
        out.pending = std::move(write);
        out.pending.CloseDescriptor(); // many wait for one flush
    }
}

} // namespace

WriteOptions WriteOptionsOf(const ListEntry& entry, const FileStamp& readAs) {
    WriteOptions options;
    // A file named on the command line is its own origin; a walk's file lies
    // below the folder it was found in.
    if (entry.path != entry.origin)
        options.beneath = StartDirectory(entry.origin);
    options.readAs = readAs;
    return options;
}

FileOutcome ProcessFile(const PipelineSettings& settings, const ListEntry& entry, WriteBatch* batch,
                        const FileRetry* retry) {
    FileOutcome out;
    try {
        ProcessInPieces(settings, entry, out, batch, retry);
    } catch (const Stopped&) {
        out.failed = true;
        out.stopped = true;
        out.error = "Stopped";
    } catch (const std::bad_alloc&) {
        out.failed = true;
        out.error = entry.path + ": Out of memory";
    } catch (const std::exception& e) {
        out.failed = true;
        out.error = e.what();
    }
    if (out.failed)
        out.pending = PendingWrite();
    return out;
}
