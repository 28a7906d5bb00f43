#pragma once
// Runs the per-file pipeline over the list, on one or more worker threads, and
// puts the new contents in place in list order, a chunk at a time (one flush to
// the disk per chunk, as "Save All" writes its batch). Each file is reported,
// in list order, once its write is in place or has failed; a failing file never
// stops the others.

#include <cstddef>
#include <vector>

struct ListEntry;
struct PipelineSettings;
class ProgressBar;
class Reporter;

struct RunLimits {
    unsigned jobs = 1;
    std::size_t chunkFiles = 256;
    std::size_t chunkBytes = std::size_t{32} << 20;
};

void RunFiles(const std::vector<ListEntry>& entries, const PipelineSettings& settings,
              const RunLimits& limits, Reporter& reporter, ProgressBar& progress);
