#include "platform/WorkerThreads.h"

#include <new>
#include <sys/mman.h>
#include <system_error>
#include <utility>

namespace {

// Address space a worker's work needs besides its stack (its buffers, the texts
// it holds). Under a limit on the address space a worker starts only while this
// much would be left after it, so that the workers that did start never run out.
constexpr std::size_t kWorkRoom = std::size_t{32} << 20;

} // namespace

bool WorkerThreads::Start(std::function<void()> work) {
    void* room =
        ::mmap(nullptr, kWorkRoom, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (room == MAP_FAILED)
        return false;
    struct Unmap {
        void* room;
        ~Unmap() { ::munmap(room, kWorkRoom); }
    } unmap{room};
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
