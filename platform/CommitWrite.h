#pragma once
// The second half of a safe write (see platform/SafeWrite.h): pending writes made
// durable and put in place.

#include "platform/FileStamp.h"
#include "platform/PendingWrite.h"
#include "platform/PrepareWrite.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Makes one pending write durable on its own (fsync) and puts it in place.
void CommitWrite(PendingWrite write);

// Makes every pending write durable (one syncfs per file system, per-file fsync
// where that fails), then puts them in place in order. On the first failure it
// throws WriteError for that file, with its index in writes: the writes before
// it stay done, the rest are discarded and their targets untouched. The vector is
// left empty.
void CommitWrites(std::vector<PendingWrite>& writes);

// One file: prepare, fsync, put in place.
void WriteWholeFile(const std::string& path, std::string_view data,
                    const WriteOptions& options = {});

// Told of each file a batch put in place, as soon as it is there: its index (in
// the vector given, or the file number of WriteFilesInOrder) and the stamp of the
// file this process left there, taken when it was written, not looked up again.
using CommittedFile = std::function<void(std::size_t index, const FileStamp& writtenAs)>;

class RetiredFiles;

// CommitWrites with its choices (for the batch): perFileSync flushes each file on
// its own; retired, when given, keeps the files replaced instead of deleting each
// at once; committed, when given, is told of each file put in place.
void CommitInOrder(std::vector<PendingWrite>& writes, bool perFileSync, RetiredFiles* retired,
                   const CommittedFile& committed);
