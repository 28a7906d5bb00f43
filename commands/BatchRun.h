#pragma once
// One run of a command over listed files, for the window's "Save All" and for
// velocitrix-cli alike: each file is worked (read or taken from its kept text,
// edited, its write prepared) on one or more threads, and the writes are put in
// place in list order, a chunk at a time made durable together. Each file's
// outcome is told to the driver in list order once it is final.
//
// What differs between the two front ends is data (BatchPolicy): whether the
// run ends at its first failure ("Save All": the files after it stay as they
// are) or goes on with the others (the command line), whether anything is put
// in place (not in a dry run), how many threads work.

#include "platform/FileStamp.h"
#include "platform/PendingWrite.h"
#include "platform/WriteError.h"

#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>

class WriteBatch;

// Where a file stands. A run ends each file in one of the last five.
enum class FileStage : unsigned char {
    Listed,     // not worked yet
    Read,       // read as readAs
    Edited,     // its new bytes made; pending holds their write when there is one
    Written,    // put in place (writtenAs)
    Unchanged,  // its bytes stay as they are: nothing written
    Failed,     // error (and writeError for a write's failure)
    NotReached, // the run stopped, or ended at a failure, before it was done
};

struct FileRecord {
    FileStage state = FileStage::Listed;
    FileStamp readAs;
    FileStamp writtenAs; // Written: the file as this process left it (known when it could be taken)
    PendingWrite pending;  // Edited: the write prepared, not yet in place
    std::size_t bytes = 0; // the bytes of that write
    std::optional<WriteError> writeError;
    std::string error; // Failed: the message, as the program words it
};

// Writes made durable together: a chunk ends after this many files or bytes,
// whichever comes first. Fewer, larger chunks cost fewer flushes of the disk; a
// pending write holds no descriptor, so a chunk is bounded by memory alone.
inline constexpr std::size_t kChunkFiles = 768;
inline constexpr std::size_t kChunkBytes = std::size_t{128} << 20;

struct BatchPolicy {
    // The first file that fails ends the run: the files before it are written,
    // the rest not reached. Otherwise the others go on.
    bool stopAtFirstFailure = false;
    bool write = true; // false: nothing is put in place (a dry run)
    // A stop puts in place the writes made before it ("Save All": its figures
    // counted them as on their way); otherwise they are discarded.
    bool commitMadeOnStop = false;
    unsigned jobs = 1; // threads that work files; 1: the caller's own
    std::size_t chunkFiles = kChunkFiles;
    std::size_t chunkBytes = kChunkBytes;
    // How many files past the last one told may be worked ahead and wait;
    // 0: two chunks and 4 per job (a chunk is made while the one before it is
    // committed).
    std::size_t window = 0;
};

// The files past the last one told that may be worked: policy.window, or its
// default.
std::size_t BatchWindow(const BatchPolicy& policy);

// What a driver does to each file.
class BatchSteps {
public:
    virtual ~BatchSteps() = default;
    // Works file i into record: its stamp as read, its new bytes, their write
    // prepared through batch (then Edited with pending), or Unchanged. A failure
    // is recorded (Failed), never thrown; work given up because stop was
    // requested leaves NotReached. again: the file is worked a second time after
    // its first write was discarded (a file before it in its chunk failed); it
    // must still be the file read then (record.readAs). Called on the run's
    // threads, each file on one at a time, and only once every file up to
    // i - BatchWindow(policy) is told: per-file state can live in a ring of
    // that many places.
    virtual void Work(std::size_t i, FileRecord& record, WriteBatch& batch,
                      const std::stop_token& stop, bool again) = 0;
    // File i's outcome is final; told in list order on the thread that called
    // RunBatch, for every file (also those not reached).
    virtual void Done(std::size_t i, FileRecord& record) = 0;
};

struct BatchOutcome {
    bool stopped = false;         // the stop was requested before the end
    std::size_t firstFailure = 0; // stopAtFirstFailure: the file that ended the run
    bool endedAtFailure = false;
};

// Runs the steps over files 0 to count - 1. A step that throws ends the run:
// every write not in place is discarded and what it threw is passed on.
BatchOutcome RunBatch(std::size_t count, BatchSteps& steps, const BatchPolicy& policy,
                      std::stop_token stop = {});
