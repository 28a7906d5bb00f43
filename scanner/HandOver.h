#pragma once
// The synchronous hand-over from the scan thread to the thread that owns the
// scanner: the worker queues one call, wakes the owner's event loop and waits
// until the call has run there. An exception thrown by the call is caught on the
// owner's thread and thrown again in the worker. Cancelling releases a waiting
// worker and refuses every later call, so the owner can go away without waiting
// for a call that would never run.

#include <QEvent>

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class QObject;

// Thrown in the worker when the hand-over has been cancelled.
class EScanCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "The scan was cancelled"; }
};

class THandOver : public std::enable_shared_from_this<THandOver> {
public:
    // receiver lives on the owner's thread and passes THandOverEvent to Deliver().
    explicit THandOver(QObject* receiver);

    // Worker side: runs call on the receiver's thread and returns when it has
    // run; rethrows its exception; throws EScanCancelled once cancelled.
    void Call(const std::function<void()>& call);

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

    enum class State { Idle, Pending, Running, Done };
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    QObject* receiver_;
    const std::function<void()>* pending_ = nullptr;
    State state_ = State::Idle;
    bool cancelled_ = false;
    std::exception_ptr error_;
};
