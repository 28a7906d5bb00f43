#pragma once
// What the main window does to one listed file, from reading it to the bytes
// "Save All" writes over it:
//   optimize: ReadFromFile; when JoinedText is not empty, OptimizeDocument; the
//             WholeText is kept (as "Optimize Dir" keeps it in FileTexts);
//   replace:  ReadFromFile; ReplaceText over WholeText; SetWholeText; WholeText kept;
//   then, as "Save All": AssignLines of the kept text and WriteToFile.
// A last line without a line break gets one. The command line makes the same
// bytes a piece at a time, whatever the file's size: the optimizer line by line
// (PieceEditor), a replacement as a stream that may reach across lines
// (PieceReplacer). Unlike "Save All" it leaves a file alone whose new bytes are
// exactly its bytes on disk (unless asked to write every file): the output is
// compared with the input byte by byte as both go by (SameBytes), and the write
// begins once they differ, from the output held so far.

#include "commands/FileSteps.h"
#include "commands/StyleSheets.h"
#include "platform/SafeWrite.h"
#include "text/LineBreaks.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>

struct ListEntry;

struct PipelineSettings {
    // Optimize or replace, the preformatted blocks kept or not, the line breaks
    // written: what the window's directory commands are given too.
    FileStep step;
    // With keepPre: the sheets the files link, read once for the run.
    std::shared_ptr<StyleSheetCache> styleSheets = std::make_shared<StyleSheetCache>();
    bool dryRun = false;         // write nothing (also for --check and --diff)
    bool writeAll = false;       // write every file, also one whose bytes stay the same
    bool diff = false;           // keep the unified diff of each file that would change
    bool compressedSize = false; // count the gzip sizes before and after
    // With dryRun: a file's work ends at its first byte that differs (only
    // whether it changes is wanted; its figures and "<pre>" are not known then).
    bool untilDifference = false;
    std::string backupDir; // empty: none
    // Looked at between pieces and before a file is put in place on its own: a
    // stop ends the file's work, and nothing of it is written.
    std::stop_token stop;
};

struct FileOutcome {
    bool failed = false;
    bool stopped = false;         // given up because the run is stopping (failed too)
    std::string error;            // the failure's message, as the program words it
    std::size_t sizeOnDisk = 0;   // the bytes read
    std::size_t before = 0;       // JoinedText length of the text read
    std::size_t after = 0;        // JoinedText length of the text written (its size)
    bool changed = false;         // the bytes to write differ from the bytes read (exact)
    bool written = false;         // a write was made for it (pending or in place)
    std::uint64_t gzipBefore = 0; // with compressedSize: the gzip sizes
    std::uint64_t gzipAfter = 0;
    std::string diff;             // with diff: the unified diff (empty: unchanged)
    bool hasPre = false;          // optimize: "<pre>" in the optimized JoinedText
    bool empty = false;           // optimize: no lines, so not optimized
    std::string backupPath;       // where the original was copied
    FileStamp readAs;             // the file as it was read
    PendingWrite pending;         // the new content, written out but not in place
    bool writtenDirectly = false; // a large file: already in place
};

// What is done to each file (or to standard input).
FileStep FileStepOf(const PipelineSettings& settings);

// The folder whose walk found a listed file, which it is read and written
// inside; empty for a file named on the command line (followed as given).
std::string WalkedFolderOf(const ListEntry& entry);

// How a listed file is to be written: inside the folder it was found in by a
// walk (a file named on the command line is followed as given), and only while
// it is still the file as read.
WriteOptions WriteOptionsOf(const ListEntry& entry, const FileStamp& readAs);

// A file worked again after its finished write was discarded (a file before it
// in its batch failed): it must still be the file read then, whose backup copy
// is made already.
struct FileRetry {
    FileStamp readAs;
    std::string backupPath; // empty: none
};

// Works one file up to a pending write (none for a dry run, nor for a file whose
// bytes stay the same unless writeAll); a failure is
// recorded in the outcome, never thrown. With a batch, the write is prepared as
// part of it (see WriteBatch), to be committed through it.
FileOutcome ProcessFile(const PipelineSettings& settings, const ListEntry& entry,
                        WriteBatch* batch = nullptr, const FileRetry* retry = nullptr);
