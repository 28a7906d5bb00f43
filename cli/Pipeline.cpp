#include "cli/Pipeline.h"

#include "cli/FileList.h"
#include "platform/FileIO.h"
#include "platform/SystemError.h"
#include "text/LineBreaks.h"
#include "text/Optimizer.h"
#include "text/PieceEditor.h"
#include "text/ReplaceText.h"
#include "text/TextDocument.h"

#include <cerrno>
#include <memory>
#include <new>
#include <stdexcept>
#include <sys/stat.h>

namespace {

constexpr std::size_t DirectWriteBytes = std::size_t{8} << 20;

// Creates every missing directory of path's parent. Returns 0 or errno.
int MakeParents(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string dir = path.substr(0, slash);
        if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

void WriteBackup(const std::string& backupPath, const std::string& raw) {
    if (const int err = MakeParents(backupPath))
        throw std::runtime_error(CreateErrorMessage(backupPath, err));
    WriteWholeFile(backupPath, raw);
}

// "Save All" refills the view with AssignLines of the kept text, which makes every
// line break CR LF and gives a last line its break. A text already in that form
// (crLfOnly: known to hold no lone CR or LF) comes out of it unchanged, so the
// refill is done only when it changes something.
void RefillForSave(TextDocument& doc, bool crLfOnly) {
    const std::string& text = doc.WholeText();
    const bool endsWithBreak =
        text.size() >= 2 && text[text.size() - 2] == '\r' && text[text.size() - 1] == '\n';
    if ((text.empty() || endsWithBreak) && text.size() <= doc.CharLimit() &&
        (crLfOnly || FirstLoneBreak(text) == std::string::npos))
        return;
    doc.AssignLines(doc.WholeText());
}

// Whether a file can be worked a piece at a time (see PieceEditor.h).
bool WorksInPieces(const PipelineSettings& settings) {
    return settings.optimize || ReplacementKeepsLines(settings.find, settings.with);
}

PieceEditor::LineEdit EditOf(const PipelineSettings& settings) {
    if (settings.optimize) {
        return [](std::string_view lines, std::string& out) {
            out.assign(lines);
            out.resize(OptimizeLinesInPlace(out.data(), out.size()));
        };
    }
    return [&settings](std::string_view lines, std::string& out) {
        out = ReplaceText(lines, settings.find, settings.with, settings.caseSensitive);
    };
}

// The same steps as the whole-text path below, with the file read, edited and
// written a piece at a time: a large file costs no whole-file buffers.
void ProcessInPieces(const PipelineSettings& settings, const ListEntry& entry, FileOutcome& out,
                     WriteBatch* batch) {
    InputFile in(entry.path);
    constexpr std::size_t ReadBytes = PieceEditor::BlockBytes;
    thread_local std::unique_ptr<char[]> buffer(new char[ReadBytes]);
    const ContentSink* sink = nullptr;
    const ContentSink* copy = nullptr; // the backup, when one is made
    PieceEditor editor(
        EditOf(settings),
        [&sink](std::string_view piece) {
            if (sink != nullptr)
                (*sink)(piece);
        },
        TextDocument::ReadCharLimit, settings.optimize, !settings.optimize);
    auto produce = [&](const ContentSink& to) {
        sink = &to;
        while (const std::size_t n = in.Read(buffer.get(), ReadBytes)) {
            out.sizeOnDisk += n;
            if (copy != nullptr)
                (*copy)(std::string_view(buffer.get(), n));
            editor.Feed(std::string_view(buffer.get(), n));
        }
        const PieceFigures& figures = editor.Finish();
        out.before = figures.before;
        out.after = figures.after;
        out.changed = figures.changed;
        out.hasPre = figures.hasPre;
        out.empty = settings.optimize && figures.before == 0;
    };
    if (settings.dryRun) {
        produce([](std::string_view) {});
        return;
    }
    auto prepare = [&] {
        return batch != nullptr ? batch->Prepare(entry.path, produce)
                                : PrepareWriteFrom(entry.path, produce);
    };
    PendingWrite write;
    if (settings.backupDir.empty()) {
        write = prepare();
    } else {
        // The original's copy is made from the same reading, and is on the disk
        // before the file itself can change.
        const std::string backupPath = BackupPathOf(settings.backupDir, entry);
        if (const int err = MakeParents(backupPath))
            throw std::runtime_error(CreateErrorMessage(backupPath, err));
        PendingWrite backup = PrepareWriteFrom(backupPath, [&](const ContentSink& to) {
            copy = &to;
            write = prepare();
            copy = nullptr;
        });
        CommitWrite(std::move(backup));
        out.backupPath = backupPath;
    }
    if (out.after >= DirectWriteBytes) {
        // A large file is flushed on its own: a batch flush would also wait
        // for everything else the file system has still to write.
        CommitWrite(std::move(write));
        out.writtenDirectly = true;
    } else {
        out.pending = std::move(write);
        out.pending.CloseDescriptor(); // many wait for one flush
    }
}

} // namespace

void LoadDocument(TextDocument& doc, const std::string& path, std::string& raw) {
    // ReadFromFile's steps, keeping the bytes read: read whole, unify every line
    // break to CR LF, raise the character limit.
    ReadWholeFile(path, raw);
    const std::size_t lone = FirstLoneBreak(raw);
    if (lone == std::string::npos) {
        doc.SetWholeText(raw);
    } else {
        std::string unified;
        AppendUnifiedBreaks(raw, lone, unified);
        doc.SetWholeText(std::move(unified));
    }
    doc.SetCharLimit(TextDocument::ReadCharLimit);
}

std::string BackupPathOf(const std::string& backupDir, const ListEntry& entry) {
    std::string dir = backupDir;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    std::string rel = entry.rel;
    while (!rel.empty() && rel.front() == '/')
        rel.erase(0, 1);
    return dir == "/" ? dir + rel : dir + "/" + rel;
}

FileOutcome ProcessFile(const PipelineSettings& settings, const ListEntry& entry, TextDocument& doc,
                        std::string& raw, WriteBatch* batch) {
    FileOutcome out;
    try {
        if (WorksInPieces(settings)) {
            ProcessInPieces(settings, entry, out, batch);
            return out;
        }
        // Fill the view, as "Optimize Dir" and "Change Dir" do for each entry.
        doc.SetCharLimit(TextDocument::FileCharLimit);
        doc.SetPlainText(true);
        LoadDocument(doc, entry.path, raw);
        out.sizeOnDisk = raw.size();
        out.before = doc.JoinedLength();

        bool crLfOnly = false;
        if (settings.optimize) {
            if (out.before > 0) {
                const OptimizeRun run = OptimizeDocument(doc);
                out.hasPre = run.hasPre;
                crLfOnly = true; // refilled line by line
            } else {
                out.empty = true;
            }
        } else {
            std::string changed =
                ReplaceText(doc.WholeText(), settings.find, settings.with, settings.caseSensitive);
            doc.SetWholeText(std::move(changed));
        }

        // "Save All": the kept text, refilled line by line, is what goes to the disk.
        doc.SetPlainText(true);
        RefillForSave(doc, crLfOnly);
        const std::string& bytes = doc.WholeText();
        out.after = bytes.size();
        out.changed = bytes != raw;

        if (settings.dryRun)
            return out;
        if (!settings.backupDir.empty()) {
            out.backupPath = BackupPathOf(settings.backupDir, entry);
            WriteBackup(out.backupPath, raw);
        }
        if (bytes.size() >= DirectWriteBytes) {
            // A large file is flushed on its own: a batch flush would also wait
            // for everything else the file system has still to write.
            WriteWholeFile(entry.path, bytes);
            out.writtenDirectly = true;
        } else {
            out.pending =
                batch != nullptr
                    ? batch->Prepare(entry.path, [&bytes](const ContentSink& sink) { sink(bytes); })
                    : PrepareWrite(entry.path, bytes);
            out.pending.CloseDescriptor();
        }
    } catch (const std::bad_alloc&) {
        out.failed = true;
        out.error = "Out of memory";
    } catch (const std::exception& e) {
        out.failed = true;
        out.error = e.what();
    }
    return out;
}
