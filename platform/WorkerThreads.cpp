#include "platform/WorkerThreads.h"

#include <system_error>
#include <utility>

bool WorkerThreads::Start(std::function<void()> work) {
    try {
        threads_.emplace_back([this, work = std::move(work)] {
            try {
                work();
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!failure_)
                    failure_ = std::current_exception();
                failed_.store(true);
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void WorkerThreads::Join() noexcept {
    for (std::thread& t : threads_)
        if (t.joinable())
            t.join();
    threads_.clear();
}

void WorkerThreads::Rethrow() {
    std::exception_ptr failure;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failure = std::exchange(failure_, nullptr);
    }
    if (failure)
        std::rethrow_exception(failure);
}
