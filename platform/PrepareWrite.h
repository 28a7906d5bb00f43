#pragma once
// The first half of a safe write (see platform/SafeWrite.h): the new content
// written beside the target, or the target checked and its new size made sure
// of for a write in place, without touching the target.

#include "platform/FileStamp.h"
#include "platform/PendingWrite.h"

#include <functional>
#include <string>
#include <string_view>

// A content made piece by piece: the producer calls the sink with each piece.
using ContentSink = std::function<void(std::string_view)>;
using ContentProducer = std::function<void(const ContentSink&)>;

class InputFile;

// How a file is to be reached and what it must still be.
struct WriteOptions {
    // Not empty: the file was found by a walk of this folder, and the write must
    // stay inside it. The folders from there to the file are opened without
    // following any symbolic link, and a link in the file's own place is followed
    // only where the link and the file it reaches have one owner; otherwise the
    // write fails with EACCES. Empty: the path is followed as given (the file the
    // user pointed at).
    std::string beneath;
    // When known: the file as it was read. The commit fails with
    // WriteFailure::ChangedSinceRead when the file in place is not this one any
    // more (or is gone; it is not created again).
    FileStamp readAs;
    // When given: the file as this process opened it to read it (still open),
    // found by the same walk. Its folder, status and descriptor serve the write's
    // checks instead of looking the name up again; that it is still the file in
    // place is checked at the commit, as readAs says. Used only where its path is
    // the path written and its stamp is readAs.
    const InputFile* source = nullptr;
};

// Writes data into a temporary file beside the target (or, for a write in place,
// checks the target and makes sure of the new size) without touching the target.
// Throws WriteError.
PendingWrite PrepareWrite(const std::string& path, std::string_view data,
                          const WriteOptions& options = {});

// The same with the content made piece by piece: produce calls the sink it is given
// with each piece, in order, so a large content need never be whole in memory.
// Whatever produce throws passes on, and nothing is left behind.
PendingWrite PrepareWriteFrom(const std::string& path, const ContentProducer& produce,
                              const WriteOptions& options = {});
