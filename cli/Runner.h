#pragma once
// Runs the per-file pipeline over the list through the batch run
// (commands/BatchRun.h), on one or more worker threads, the new contents put in
// place in list order a chunk at a time (one flush to the disk per chunk, as
// "Save All" writes its batch). Each file is reported, in list order, once its
// write is in place or has failed; a failing file never stops the others. A run
// stopped by a signal (see Interrupt.h) takes no new file, lets a commit under
// way finish, and discards every write not yet in place.

#include "commands/BatchRun.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct ListEntry;
struct PipelineSettings;
class ProgressBar;
class Reporter;

struct RunLimits {
    unsigned jobs = 1;
    std::size_t chunkFiles = kChunkFiles;
    std::size_t chunkBytes = kChunkBytes;
    // How many files past the last one reported may be under way or written out
    // and waiting; 0: two chunks + 4 per job (a chunk is prepared while the one
    // before it is committed).
    std::size_t window = 0;
};

// The limits cut down so that the descriptors a run holds stay well below
// openFiles (the process's limit on open files, RLIMIT_NOFILE), whatever --jobs
// asked for: up to 4 per worker (6 with backup copies) and 2 per write waiting
// for its commit.
RunLimits FitToOpenFiles(RunLimits limits, std::uint64_t openFiles, bool backups);

// Returns false when the run stopped before its end.
bool RunFiles(const std::vector<ListEntry>& entries, const PipelineSettings& settings,
              const RunLimits& limits, Reporter& reporter, ProgressBar& progress);
