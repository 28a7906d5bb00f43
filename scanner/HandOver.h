#pragma once
// The synchronous hand-over from the scan thread to the thread that owns the
// scanner: the worker queues one call, wakes the owner's event loop and waits
// until the call has run there. An exception thrown by the call is caught on the
// owner's thread and thrown again in the worker. Cancelling releases a waiting
// worker and refuses every later call (the worker learns it from Call's answer),
// so the owner can go away without waiting for a call that would never run.
//
// Events come in quick runs (one per file found), so after running a call the
// owner's thread waits a little for the next one and runs it at once, without a
// round through its event loop, for a couple of milliseconds before it returns
// to the loop; longer (up to 40 ms) when its last pass through the loop took
// long, so that the loop's share of the time stays bounded. Both sides meet on
// one atomic word; a side sleeps (on a condition variable: the owner's sleep has
// a time limit, which std::atomic::wait cannot give) only after a short spin, and
// is woken only when it announced that it sleeps.

#include <QEvent>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QObject;

class THandOver : public std::enable_shared_from_this<THandOver> {
public:
    // receiver lives on the owner's thread and passes our events to Deliver().
    explicit THandOver(QObject* receiver);

    // Worker side: runs call on the receiver's thread and returns true when it
    // has run; rethrows its exception. Once cancelled, returns false: the call
    // has not run, and no later one will.
    [[nodiscard]] bool Call(const std::function<void()>& call);

    // Owner side: no call runs from now on; a waiting worker is released (after
    // the call in progress, if one runs further up this thread's stack).
    void Cancel();
    // Owner side: true while a call runs on the owner's thread.
    bool Running() const;

    // Owner side: runs the pending call carried by one of our events.
    static bool Deliver(QEvent* event);
    static QEvent::Type EventType();

private:
    void RunPending();
    void Post();
    void Wake();
    // Sleeps while the word is expected, for at most limitNs when limitNs >= 0;
    // may return early.
    void Sleep(std::uint32_t expected, long limitNs);
    // Waits until ready(word), spinning for spinNs first, then sleeping; with a
    // limit (limitNs >= 0, from the start) it gives up when the limit passes.
    // sleepBit tells the other side to wake us. Returns the last word seen.
    template <typename Ready>
    std::uint32_t WaitFor(Ready ready, std::uint32_t sleepBit, long spinNs, long limitNs,
                          std::chrono::steady_clock::duration& waited);

    // State in the low bits, flags above.
    enum : std::uint32_t {
        kIdle = 0,
        kPending = 1,
        kRunning = 2,
        kDone = 3,
        kStateMask = 3,
        kListening = 4, // the owner waits for the next call: no event needed
        kCancelled = 8,
        kWorkerAsleep = 16, // the worker sleeps on the word: wake it
        kOwnerAsleep = 32,  // the owner sleeps on the word: wake it
    };

    std::atomic<std::uint32_t> word_{kIdle};
    // Where a side sleeps once it set its asleep bit; Wake() takes the mutex after
    // changing the word, so a sleeper that saw the old word under it is notified.
    std::mutex sleepMutex_;
    std::condition_variable sleepCv_;
    // Against Cancel(): the receiver is alive while the worker posts to it.
    std::mutex postMutex_;
    QObject* receiver_;
    const std::function<void()>* pending_ = nullptr; // published by kPending
    std::exception_ptr error_;                       // published by kDone
    // Spin budgets, each used by one side only.
    long workerSpinNs_ = 5000;
    long ownerSpinNs_ = 5000;
    // Owner side: how long a run of calls may last, and when the last run ended
    // because its time was up (unset when it ended for want of calls).
    std::chrono::steady_clock::duration ownerSlice_ = std::chrono::milliseconds(2);
    std::optional<std::chrono::steady_clock::time_point> ownerLeftAt_;
};
