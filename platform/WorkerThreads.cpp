#include "platform/WorkerThreads.h"

#include <new>
#include <pthread.h>
#include <sys/mman.h>
#include <system_error>
#include <utility>
#include <vector>

namespace {

// Address space a worker's work needs besides its stack (its buffers, the texts
// it holds).
constexpr std::size_t kWorkRoom = std::size_t{32} << 20;

} // namespace

std::size_t WorkersWithRoom(std::size_t wanted) {
    std::size_t stack = std::size_t{8} << 20;
    pthread_attr_t attr;
    if (::pthread_getattr_default_np(&attr) == 0) {
        ::pthread_attr_getstacksize(&attr, &stack);
        ::pthread_attr_destroy(&attr);
    }
    // Each worker's stack and room reserved (never touched), counted, given back.
    const std::size_t each = stack + kWorkRoom + (std::size_t{1} << 20);
    std::vector<void*> rooms;
    while (rooms.size() < wanted) {
        void* room =
            ::mmap(nullptr, each, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (room == MAP_FAILED)
            break;
        rooms.push_back(room);
    }
    for (void* room : rooms)
        ::munmap(room, each);
    return rooms.size();
}

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
    } catch (const std::bad_alloc&) {
        return false; // no room for the thread's own state either
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
