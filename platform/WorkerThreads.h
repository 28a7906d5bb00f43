#pragma once
// Worker threads that are always joined, and whose work never ends the program:
// what a worker's work throws is kept and passed on to the thread that joins
// (instead of std::terminate), as the window's BatchProgress does with its one.

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// How many of wanted workers have room under the process's limit on its
// address space: a stack each and room for their work besides, so that those
// started never run out of memory in the middle of a file. wanted where there is
// no limit.
std::size_t WorkersWithRoom(std::size_t wanted);

class WorkerThreads {
public:
    WorkerThreads() = default;
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;
    // Waits for every worker (a failure not passed on by Rethrow is dropped).
    ~WorkerThreads() { Join(); }

    // Starts a worker doing work; false where the system cannot start one (no
    // room for its stack under a limit on the address space, too many threads).
    bool Start(std::function<void()> work);
    std::size_t Count() const { return threads_.size(); }
    bool Empty() const { return threads_.empty(); }
    // True once some worker's work threw; the threads that wait on the workers'
    // results look at it, since a failed worker gives none.
    bool Failed() const { return failed_.load(); }
    // Waits for every worker.
    void Join() noexcept;
    // After Join: throws what the first failing worker's work threw, if any did.
    void Rethrow();

private:
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::exception_ptr failure_;
    std::atomic<bool> failed_{false};
};
