#pragma once
// One target's new content, written out but not yet put in place (see
// platform/SafeWrite.h). Move-only; a pending write that is destroyed without
// being committed leaves no trace.

#include "platform/FileStamp.h"

#include <memory>
#include <string>

struct WriteState; // platform/WriteState.h: what the prepare and commit steps share

class PendingWrite {
public:
    PendingWrite();
    explicit PendingWrite(std::unique_ptr<WriteState> state);
    PendingWrite(PendingWrite&& other) noexcept;
    PendingWrite& operator=(PendingWrite&& other) noexcept;
    PendingWrite(const PendingWrite&) = delete;
    PendingWrite& operator=(const PendingWrite&) = delete;
    ~PendingWrite();

    // The path as the caller named it (used in messages).
    const std::string& Path() const;
    // The folder the bytes go to and the name in it (every link followed).
    const std::string& TargetFolder() const;
    const std::string& TargetName() const;
    // The temporary file's name in the target folder; empty for a write in place.
    const std::string& TemporaryName() const;
    std::string TemporaryPath() const;
    bool InPlace() const;
    bool Committed() const;
    // Once committed: the file now in place as this process left it (its stamp to
    // be read against by a later write); not known before.
    const FileStamp& WrittenAs() const;

    // Removes the temporary file (nothing happens to the target).
    void Discard() noexcept;

    // Lets go of the descriptors it holds, so that thousands of writes can wait
    // together; the commit opens what it needs again and checks it is the same.
    void CloseDescriptor() noexcept;

    // For the prepare and commit steps; null once moved from.
    WriteState* State() { return state_.get(); }

private:
    std::unique_ptr<WriteState> state_;
};
