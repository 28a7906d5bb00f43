#pragma once
// What the main window does to one listed file, from reading it to the bytes
// "Save All" writes over it:
//   optimize: ReadFromFile; when JoinedText is not empty, OptimizeDocument; the
//             WholeText is kept (as "Optimize Dir" keeps it in FileTexts);
//   replace:  ReadFromFile; ReplaceText over WholeText; SetWholeText; WholeText kept;
//   then, as "Save All": AssignLines of the kept text and WriteToFile.
// So a file is always written, also when nothing changed, and a last line without
// a line break gets one. The same bytes are made a piece at a time (PieceEditor)
// unless the pattern or the replacement holds a line break: then the whole text
// is worked as above.

#include "platform/SafeWrite.h"

#include <cstddef>
#include <string>

class TextDocument;
struct ListEntry;

struct PipelineSettings {
    bool optimize = true; // false: replace
    std::string find;
    std::string with;
    bool caseSensitive = false;
    bool dryRun = false;
    std::string backupDir; // empty: none
};

struct FileOutcome {
    bool failed = false;
    std::string error;            // the failure's message, as the program words it
    std::size_t sizeOnDisk = 0;   // the bytes read
    std::size_t before = 0;       // JoinedText length of the text read
    std::size_t after = 0;        // JoinedText length of the text written (its size)
    bool changed = false;         // the bytes to write differ from the bytes read
    bool hasPre = false;          // optimize: "<pre>" in the optimized JoinedText
    bool empty = false;           // optimize: no lines, so not optimized
    std::string backupPath;       // where the original was copied
    PendingWrite pending;         // the new content, written out but not in place
    bool writtenDirectly = false; // a large file: already in place
};

// Reads the file into the document as ReadFromFile does (raw receives the bytes
// as they are on the disk).
void LoadDocument(TextDocument& doc, const std::string& path, std::string& raw);

// Works one file up to a pending write (none for a dry run); a failure is
// recorded in the outcome, never thrown. doc and raw are scratch buffers that a
// worker reuses from file to file (the whole-text path only). With a batch, the
// write is prepared as part of it (see WriteBatch), to be committed through it.
FileOutcome ProcessFile(const PipelineSettings& settings, const ListEntry& entry, TextDocument& doc,
                        std::string& raw, WriteBatch* batch = nullptr);

// The path of an entry's copy below the backup directory.
std::string BackupPathOf(const std::string& backupDir, const ListEntry& entry);
