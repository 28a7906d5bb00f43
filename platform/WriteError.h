#pragma once
// Why a file could not be written: the error type of the write path, and the
// one way its steps report a failure.
//
// Inside platform/, a step that can fail returns 0 or the error number (an int),
// and gives what it makes (a descriptor, a name) through an out-parameter. The
// steps of a write, which also fail for the program's own reasons (the file
// changed since it was read, the temporary replaced), return a WriteFault: an
// error number or one of those reasons, empty on success. Only the outermost
// calls (PrepareWrite, CommitWrite, the batch) turn a fault into a WriteError.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>

enum class WriteFailure {
    System,            // the system's error number says why
    ChangedSinceRead,  // the file is no longer the one that was read
    TemporaryReplaced, // another program put something else under the temporary's name
    LosesSetUserId,    // written in place, it would lose its set-user-ID bit
    LosesSetGroupId,   // ... its set-group-ID bit
    LosesCapabilities, // ... its capabilities (security.capability)
    LinksOnOverlay,    // several names on an overlay file system, which a write would part
    TooLargeInMemory,  // written in place where no temporary can be made, and too large
};

// A file written in place where its folder takes no temporary file (no right to
// create one, or an append-only folder) holds its new and its old bytes in memory,
// each at most this much; a larger one is refused (WriteFailure::TooLargeInMemory).
constexpr std::size_t InPlaceMemoryBytes = std::size_t{16} << 20;

// How a step of a write ended: an error number, or one of the program's own
// reasons; false when it succeeded.
struct WriteFault {
    int errnum = 0;
    WriteFailure kind = WriteFailure::System;
    explicit operator bool() const { return errnum != 0 || kind != WriteFailure::System; }
};

// A failure for the error number errnum (none for 0).
inline WriteFault SystemFault(int errnum) {
    return WriteFault{errnum, WriteFailure::System};
}
constexpr WriteFault ChangedFault{0, WriteFailure::ChangedSinceRead};
constexpr WriteFault ReplacedFault{0, WriteFailure::TemporaryReplaced};

// A file that could not be written: its path as the caller named it, the error
// number, what kind of failure, and its index in the batch (the vector given to
// CommitWrites, or the file number of WriteFilesInOrder) where there is one.
class WriteError : public std::runtime_error {
public:
    static constexpr std::size_t NoIndex = static_cast<std::size_t>(-1);

    WriteError(std::string path, int errnum, WriteFailure kind = WriteFailure::System,
               std::size_t index = NoIndex);
    WriteError(std::string path, WriteFault fault, std::size_t index = NoIndex)
        : WriteError(std::move(path), fault.errnum, fault.kind, index) {}

    const std::string& Path() const { return path_; }
    int Errno() const { return errnum_; }
    WriteFailure Kind() const { return kind_; }
    std::size_t Index() const { return index_; }
    WriteError WithIndex(std::size_t index) const {
        return WriteError(path_, errnum_, kind_, index);
    }

private:
    std::string path_;
    int errnum_;
    WriteFailure kind_;
    std::size_t index_;
};

// "Cannot create file "<path>". <why>": the system's text for errnum, or the
// program's own words for the other kinds.
std::string WriteErrorMessage(const std::string& path, int errnum,
                              WriteFailure kind = WriteFailure::System);
// The same for a system error.
std::string CreateErrorMessage(const std::string& path, int errnum);
