#include "cli/IdleHelpers.h"

#include <utility>

IdleHelpers::IdleHelpers(unsigned threads) {
    const std::size_t room = threads > 0 ? WorkersWithRoom(threads) : 0;
    for (std::size_t t = 0; t < room; ++t)
        if (!threads_.Start([this] { Loop(); }))
            break;
    // Ready before the first job is offered, so that it is taken.
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return idle_ == threads_.Count() || threads_.Failed(); });
}

IdleHelpers::~IdleHelpers() {
    {
        const std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_all();
    threads_.Join();
}

bool IdleHelpers::Idle() {
    const std::lock_guard lock(mutex_);
    return idle_ > 0 && !job_ && !finishing_;
}

void IdleHelpers::Run(std::function<void()> job) {
    {
        const std::lock_guard lock(mutex_);
        job_ = std::move(job);
    }
    wake_.notify_one();
}

void IdleHelpers::Finish() {
    {
        const std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_all();
    threads_.Join();
    threads_.Rethrow();
}

void IdleHelpers::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        ready_.notify_one();
        wake_.wait(lock, [this] { return job_ || finishing_; });
        --idle_;
        if (!job_)
            return;
        const std::function<void()> job = std::exchange(job_, nullptr);
        lock.unlock();
        job();
        lock.lock();
    }
}
