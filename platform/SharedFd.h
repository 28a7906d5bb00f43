#pragma once
// A file descriptor owned together by whoever holds a copy of it, closed when the
// last copy goes: a folder kept open by a worker and used by the writes made in
// it, without a duplicate descriptor for each.

#include "platform/UniqueFd.h"

#include <memory>

class SharedFd {
public:
    SharedFd() = default;
    explicit SharedFd(int fd) { Reset(fd); }

    int Get() const { return fd_ ? fd_->Get() : -1; }
    bool Valid() const { return fd_ && fd_->Valid(); }
    // Lets go of this copy and owns fd (none for -1).
    void Reset(int fd = -1) { fd_ = fd >= 0 ? std::make_shared<UniqueFd>(fd) : nullptr; }
    void Reset(UniqueFd&& fd) { Reset(fd.Release()); }

private:
    std::shared_ptr<UniqueFd> fd_;
};
