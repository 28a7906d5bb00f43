#pragma once
// A file descriptor owned together by whoever holds a copy of it, closed when the
// last copy goes: a folder kept open by a worker and used by the writes made in
// it, without a duplicate descriptor for each. Nothing here throws: where no
// memory is left for the count, the descriptor is closed and the copy is empty.

#include <atomic>
#include <new>
#include <unistd.h>
#include <utility>

class SharedFd {
public:
    SharedFd() = default;
    explicit SharedFd(int fd) { Reset(fd); }
    SharedFd(const SharedFd& other) noexcept : shared_(other.shared_) {
        if (shared_ != nullptr)
            shared_->copies.fetch_add(1, std::memory_order_relaxed);
    }
    SharedFd(SharedFd&& other) noexcept : shared_(std::exchange(other.shared_, nullptr)) {}
    SharedFd& operator=(SharedFd other) noexcept {
        std::swap(shared_, other.shared_);
        return *this;
    }
    ~SharedFd() { Drop(); }

    int Get() const { return shared_ != nullptr ? shared_->fd : -1; }
    bool Valid() const { return shared_ != nullptr; }
    // Lets go of this copy and owns fd (none for -1).
    void Reset(int fd = -1) noexcept {
        Drop();
        if (fd < 0)
            return;
        shared_ = new (std::nothrow) Shared{{1}, fd};
        if (shared_ == nullptr)
            ::close(fd);
    }

private:
    struct Shared {
        std::atomic<long> copies;
        int fd;
    };
    void Drop() noexcept {
        if (shared_ != nullptr && shared_->copies.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            ::close(shared_->fd);
            delete shared_;
        }
        shared_ = nullptr;
    }

    Shared* shared_ = nullptr;
};
