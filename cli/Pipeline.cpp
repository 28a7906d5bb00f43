#include "cli/Pipeline.h"

#include "cli/BackupCopy.h"
#include "cli/FileList.h"
#include "cli/GzipSize.h"
#include "cli/SameBytes.h"
#include "cli/UnifiedDiff.h"
#include "commands/StreamedStep.h"
#include "platform/FileIO.h"
#include "text/TextDocument.h"

#include <memory>
#include <new>
#include <optional>
#include <stdexcept>

namespace {

constexpr std::size_t DirectWriteBytes = std::size_t{8} << 20;

// The run is stopping: the file's work ends here.
struct Stopped {};

void StopPoint(const PipelineSettings& settings) {
    if (settings.stop.stop_requested())
        throw Stopped{};
}

// How much output (and, with a backup, input) a file may hold while it is not
// yet known whether its bytes change; past it the file is only compared, and
// read a second time to be written if it does change.
constexpr std::size_t HoldBytes = std::size_t{4} << 20;

// Reads, edits and writes the file a piece at a time: a file of any size costs
// a few pieces' worth of memory (a diff holds the file's old and new bytes).
// writeEvery: write it whether or not it changes. mustBe: the file must still
// be this one (a second reading). secondPass is set when the file changes but
// its write could not begin from what was held.
void ProcessInPieces(const PipelineSettings& settings, const ListEntry& entry, FileOutcome& out,
                     WriteBatch* batch, const FileRetry* retry, bool writeEvery,
                     const FileStamp* mustBe, bool& secondPass) {
    // A walk's file is read as it would be written: inside the walked folder.
    InputFile in(entry.path, WalkedFolderOf(entry));
    out.readAs = in.Stamp();
    if (mustBe != nullptr && !(in.Stamp() == *mustBe))
        throw WriteError(entry.path, 0, WriteFailure::ChangedSinceRead);
    const bool writes = !settings.dryRun;
    std::optional<BackupCopy> copy;
    bool copyWanted = false;
    if (retry != nullptr) {
        if (!(in.Stamp() == retry->readAs))
            throw WriteError(entry.path, 0, WriteFailure::ChangedSinceRead);
        out.backupPath = retry->backupPath;
    } else {
        copyWanted = writes && !settings.backupDir.empty();
    }
    // A copy that cannot be made stops the file before anything is written.
    auto makeCopy = [&] {
        copy.emplace(settings.backupDir, entry, in.Mode());
    };
    if (copyWanted && writeEvery)
        makeCopy();

    SameBytes same(in);
    std::optional<GzipSize> gzipIn;
    std::optional<GzipSize> gzipOut;
    if (settings.compressedSize) {
        gzipIn.emplace();
        gzipOut.emplace();
    }
    std::string oldText; // with diff
    std::string newText;
    std::string heldOut; // while deciding whether to write
    std::string heldIn;  // the same, for the backup copy
    bool holding = writes && !writeEvery;

    constexpr std::size_t ReadBytes = PieceEditor::BlockBytes;
    thread_local std::unique_ptr<char[]> buffer(new char[ReadBytes]);
    const ContentSink* sink = nullptr;
    FileStep step = FileStepOf(settings);
    // The sheets the file links: from its folder, and for a walk's file only
    // inside the folder it was found in.
    PageStyleSheets linked(*settings.styleSheets, entry.path,
                           entry.path != entry.origin ? StartDirectory(entry.origin) : "");
    if (settings.step.optimizeOptions.keepPre)
        step.optimizeOptions.styleSheets = &linked;
    StreamedStep edit(
        step,
        [&](std::string_view piece) {
            same.Written(piece);
            if (gzipOut)
                gzipOut->Add(piece);
            if (settings.diff)
                newText.append(piece);
            if (sink != nullptr)
                (*sink)(piece);
            else if (holding)
                heldOut.append(piece);
        },
        TextDocument::ReadCharLimit);

    // Reads and works the file on; returns true at its end, false when deciding
    // and the output differs or too much is held.
    auto readOn = [&](bool deciding) -> bool {
        while (const std::size_t n = in.Read(buffer.get(), ReadBytes)) {
            StopPoint(settings);
            out.sizeOnDisk += n;
            const std::string_view piece(buffer.get(), n);
            same.Read(piece); // before the output it gives
            if (gzipIn)
                gzipIn->Add(piece);
            if (settings.diff)
                oldText.append(piece);
            if (copy)
                copy->Append(piece);
            else if (holding && copyWanted)
                heldIn.append(piece);
            try {
                edit.Feed(piece);
            } catch (const CharLimitError& e) {
                throw std::runtime_error(entry.path + ": " + e.what());
            }
            if (deciding && (same.Differ() || heldOut.size() + heldIn.size() > HoldBytes))
                return false;
        }
        try {
            const PieceFigures& figures = edit.Finish();
            out.before = figures.before;
            out.after = figures.after;
            out.hasPre = figures.hasPre;
            out.empty = settings.step.optimize && figures.before == 0;
        } catch (const CharLimitError& e) {
            throw std::runtime_error(entry.path + ": " + e.what());
        }
        out.changed = same.DifferAtEnd();
        if (gzipIn) {
            out.gzipBefore = gzipIn->Finish();
            out.gzipAfter = gzipOut->Finish();
        }
        return true;
    };

    if (!writes) {
        if (!settings.untilDifference)
            readOn(false);
        else if (!readOn(true))
            out.changed = true; // known at its first byte that differs

        if (settings.diff && out.changed)
            out.diff = UnifiedDiff(entry.path, oldText, newText);
        return;
    }
    bool atEnd = false;
    if (!writeEvery) {
        atEnd = readOn(true);
        if (atEnd && !out.changed)
            return; // the same bytes: the file is left alone
        if (!atEnd && !same.Differ()) {
            // Too much held and no difference yet: compare only, to the end.
            holding = false;
            std::string().swap(heldOut);
            std::string().swap(heldIn);
            readOn(false);
            secondPass = out.changed;
            return;
        }
        holding = false;
        if (copyWanted) {
            makeCopy();
            copy->Append(heldIn);
            std::string().swap(heldIn);
        }
    }
    auto produce = [&](const ContentSink& to) {
        sink = &to;
        if (!heldOut.empty()) {
            to(heldOut);
            std::string().swap(heldOut);
        }
        if (!atEnd)
            atEnd = readOn(false);
    };
    WriteOptions options = WriteOptionsOf(entry, out.readAs);
    options.source = &in; // its folder and status serve the write's checks
    PendingWrite write = batch != nullptr ? batch->Prepare(entry.path, produce, options)
                                          : PrepareWriteFrom(entry.path, produce, options);
    out.written = true;
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

FileStep FileStepOf(const PipelineSettings& settings) {
    FileStep step = settings.step;
    // A file's bytes are compared with those on disk as they are written (SameBytes);
    // standard input is not compared.
    step.compare = false;
    return step;
}

std::string WalkedFolderOf(const ListEntry& entry) {
    // A file named on the command line is its own origin; a walk's file lies
    // below the folder it was found in.
    return entry.path != entry.origin ? StartDirectory(entry.origin) : std::string();
}

WriteOptions WriteOptionsOf(const ListEntry& entry, const FileStamp& readAs) {
    WriteOptions options;
    options.beneath = WalkedFolderOf(entry);
    options.readAs = readAs;
    return options;
}

FileOutcome ProcessFile(const PipelineSettings& settings, const ListEntry& entry, WriteBatch* batch,
                        const FileRetry* retry) {
    FileOutcome out;
    try {
        bool secondPass = false;
        ProcessInPieces(settings, entry, out, batch, retry, settings.writeAll || retry != nullptr,
                        nullptr, secondPass);
        if (secondPass) {
            // It changes: read again, as the file first read, and write it.
            const FileStamp first = out.readAs;
            out = FileOutcome();
            ProcessInPieces(settings, entry, out, batch, nullptr, true, &first, secondPass);
        }
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
    if (out.failed) {
        out.pending = PendingWrite();
        out.written = false;
    }
    return out;
}
