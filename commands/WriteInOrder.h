#pragma once
// Bytes given file by file written over their files in list order, through the
// batch run (BatchRun.h) with "Save All"'s rules: the first file that fails ends
// the run, the files before it written and the rest untouched.

#include "commands/BatchRun.h"
#include "platform/CommitWrite.h"
#include "platform/PrepareWrite.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

struct WrittenInOrder {
    std::size_t written = 0; // the files put in place
    bool stopped = false;
};

// contentOf(i) gives the bytes of file i, valid only until the next call (so the
// caller can build each file's bytes in one reused buffer), or nothing to stop
// before that file; a stop requested through stop is looked at before each file
// too. A stop puts in place the files made before it. optionsOf(i), when given,
// says how file i is reached and what it must still be. When file k cannot be
// made or written, the files before it are put in place and its error is thrown
// (a WriteError with index k, or what contentOf threw). committed, when given, is
// told of each file put in place with its new stamp, in list order.
WrittenInOrder
WriteFilesInOrder(std::size_t count, const std::function<std::string(std::size_t)>& pathOf,
                  const std::function<std::optional<std::string_view>(std::size_t)>& contentOf,
                  std::size_t chunkFiles = kChunkFiles, std::size_t chunkBytes = kChunkBytes,
                  const std::function<WriteOptions(std::size_t)>& optionsOf = {},
                  const CommittedFile& committed = {}, std::stop_token stop = {});
