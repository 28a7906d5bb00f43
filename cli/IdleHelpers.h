#pragma once
// Helper threads that take a job only while one of them is idle: the thread that
// hands jobs over never waits for them, and no job waits in a queue (a folder
// handed over to be walked is held open from then on).

#include "platform/WorkerThreads.h"

#include <condition_variable>
#include <functional>
#include <mutex>

class IdleHelpers {
public:
    // Starts up to threads helpers (those with room under a limit on the address
    // space, and that the system lets start), and waits until they are ready.
    explicit IdleHelpers(unsigned threads);
    ~IdleHelpers();
    IdleHelpers(const IdleHelpers&) = delete;
    IdleHelpers& operator=(const IdleHelpers&) = delete;

    // True when a helper waits for a job. One thread hands jobs over: a helper
    // found idle stays so until it is given one.
    bool Idle();
    // Gives job to the helper found idle.
    void Run(std::function<void()> job);
    // Waits for every job handed over, and ends the helpers; passes on what a
    // job threw.
    void Finish();

private:
    void Loop();

    std::mutex mutex_;
    std::condition_variable wake_;  // a job, or the end
    std::condition_variable ready_; // a helper waits for a job
    std::function<void()> job_;
    unsigned idle_ = 0;
    bool finishing_ = false;
    WorkerThreads threads_; // the last member: joined before the others go
};
