#include "scanner/HandOver.h"

#include <QCoreApplication>
#include <QObject>

#include <algorithm>
#include <chrono>
#include <thread>

// ThreadSanitizer does not see the futex-based wake-up of Qt's event queue (Qt is
// not built with it), so the hand-over tells it where one thread's work becomes
// visible to the other.
#if defined(__SANITIZE_THREAD__)
#define VX_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VX_TSAN 1
#endif
#endif

#if defined(VX_TSAN)
#include <sanitizer/tsan_interface.h>
#define VX_TSAN_RELEASE(addr) __tsan_release(addr)
#define VX_TSAN_ACQUIRE(addr) __tsan_acquire(addr)
#else
#define VX_TSAN_RELEASE(addr) static_cast<void>(addr)
#define VX_TSAN_ACQUIRE(addr) static_cast<void>(addr)
#endif

namespace {

class THandOverEvent : public QEvent {
public:
    explicit THandOverEvent(std::shared_ptr<THandOver> handOver)
        : QEvent(THandOver::EventType()), handOver_(std::move(handOver)) {}
    std::shared_ptr<THandOver> handOver_;
};

} // namespace

THandOver::THandOver(QObject* receiver) : receiver_(receiver) {}

QEvent::Type THandOver::EventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

namespace {

using Clock = std::chrono::steady_clock;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Spinning first: between two files found the worker usually needs only a few
// microseconds, and a sleep and wake-up costs more than that. But spinning
// only pays while both threads have a processor; on a busy machine it takes time
// from the thread being waited for. So each side adapts its spin: it doubles
// when the wait would have ended within the longest spin, halves when not.
constexpr long kWorkerMaxSpinNs = 20000;
constexpr long kOwnerMaxSpinNs = 50000;
constexpr long kOwnerWaitNs = 200000; // then the owner returns to its event loop
constexpr auto kOwnerSlice = std::chrono::milliseconds(2); // calls run in one go
// What the owner does between two runs of calls grows with what the calls did:
// each call adds a row to the window's list, and the list view lays out all its
// rows once per pass of the event loop. With a fixed slice the number of passes
// grows with the number of files too, which makes a long walk cost the square of
// its length. So a slice lasts at least kOwnerShare times the owner's last pass
// away from the calls (the event loop then takes at most a fifth of the time),
// but no longer than kOwnerMaxSlice, so the window still answers promptly.
constexpr int kOwnerShare = 4;
constexpr auto kOwnerMaxSlice = std::chrono::milliseconds(40);

void Adapt(long& spinNs, long maxSpinNs, Clock::duration waited) {
    if (waited <= std::chrono::nanoseconds(maxSpinNs)) {
        spinNs = std::min(maxSpinNs, spinNs * 2 + 1000);
    } else {
        spinNs /= 2;
    }
}

} // namespace

template <typename Ready>
std::uint32_t THandOver::WaitFor(Ready ready, std::uint32_t sleepBit, long spinNs, long limitNs,
                                 std::chrono::steady_clock::duration& waited) {
    const Clock::time_point start = Clock::now();
    auto finish = [&](std::uint32_t w) {
        waited = Clock::now() - start;
        return w;
    };
    const Clock::time_point spinEnd = start + std::chrono::nanoseconds(spinNs);
    do {
        for (int i = 0; i < 32; ++i) {
            const std::uint32_t w = word_.load(std::memory_order_acquire);
            if (ready(w)) {
                return finish(w);
            }
            CpuRelax();
        }
        std::this_thread::yield(); // on a busy machine, let the thread we wait for run
    } while (Clock::now() < spinEnd);
    const Clock::time_point end = start + std::chrono::nanoseconds(limitNs);
    for (;;) {
        std::uint32_t w = word_.load(std::memory_order_acquire);
        if (ready(w)) {
            return finish(w);
        }
        long remaining = -1;
        if (limitNs >= 0) {
            remaining = static_cast<long>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(end - Clock::now()).count());
            if (remaining <= 0) {
                return finish(w);
            }
        }
        if ((w & sleepBit) == 0 &&
            !word_.compare_exchange_weak(w, w | sleepBit, std::memory_order_acq_rel)) {
            continue;
        }
        Sleep(w | sleepBit, remaining);
    }
}

void THandOver::Sleep(std::uint32_t expected, long limitNs) {
    std::unique_lock<std::mutex> lock(sleepMutex_);
    // Changed since the asleep bit was set: the waker may have come already.
    if (word_.load(std::memory_order_acquire) != expected) {
        return;
    }
    if (limitNs < 0) {
        sleepCv_.wait(lock);
    } else {
        sleepCv_.wait_for(lock, std::chrono::nanoseconds(limitNs));
    }
}

void THandOver::Wake() {
    // The word has changed already: a side that saw the old word under the mutex
    // is waiting by the time the mutex is ours, so the notification reaches it.
    std::lock_guard<std::mutex> lock(sleepMutex_);
    sleepCv_.notify_all();
}

void THandOver::Post() {
    auto* event = new THandOverEvent(shared_from_this());
    VX_TSAN_RELEASE(this);
    // Qt's event queue hands the event over under a lock the tool can't see.
    VX_TSAN_RELEASE(event);
    QCoreApplication::postEvent(receiver_, event);
    VX_TSAN_RELEASE(this); // what postEvent wrote happens before the delivery too
}

bool THandOver::Call(const std::function<void()>& call) {
    pending_ = &call;
    error_ = nullptr;
    {
        std::lock_guard<std::mutex> lock(postMutex_);
        std::uint32_t w = word_.load(std::memory_order_relaxed);
        std::uint32_t next = 0;
        do {
            if ((w & kCancelled) != 0) {
                pending_ = nullptr;
                return false;
            }
            next = (w & ~(kStateMask | kOwnerAsleep)) | kPending;
        } while (!word_.compare_exchange_weak(w, next, std::memory_order_acq_rel));
        if ((w & kListening) == 0) {
            Post(); // under the lock: Cancel() takes it too, so the receiver is alive
        } else if ((w & kOwnerAsleep) != 0) {
            Wake();
        }
    }
    // A call in progress is waited for even when cancelled: it refers to our frame.
    Clock::duration waited{};
    const std::uint32_t w = WaitFor(
        [](std::uint32_t v) {
            const std::uint32_t state = v & kStateMask;
            return state == kDone || ((v & kCancelled) != 0 && state != kRunning);
        },
        kWorkerAsleep, workerSpinNs_, -1, waited);
    Adapt(workerSpinNs_, kWorkerMaxSpinNs, waited);
    const bool done = (w & kStateMask) == kDone;
    std::exception_ptr error = std::move(error_);
    error_ = nullptr;
    pending_ = nullptr;
    word_.fetch_and(~(kStateMask | kWorkerAsleep), std::memory_order_acq_rel);
    VX_TSAN_ACQUIRE(this);
    if (!done) {
        return false;
    }
    if (error) {
        std::rethrow_exception(error);
    }
    return true;
}

void THandOver::RunPending() {
    const Clock::time_point start = Clock::now();
    if (ownerLeftAt_) {
        // Away since the slice ended with calls still coming: the event loop's pass.
        ownerSlice_ = std::clamp<Clock::duration>((start - *ownerLeftAt_) * kOwnerShare,
                                                  kOwnerSlice, kOwnerMaxSlice);
        ownerLeftAt_.reset();
    }
    const Clock::time_point sliceEnd = start + ownerSlice_;
    for (;;) {
        std::uint32_t w = word_.load(std::memory_order_acquire);
        if ((w & kStateMask) != kPending || (w & kCancelled) != 0) {
            return;
        }
        if (!word_.compare_exchange_strong(w, (w & ~kStateMask) | kRunning,
                                           std::memory_order_acq_rel)) {
            continue;
        }
        VX_TSAN_ACQUIRE(this);
        std::exception_ptr error;
        try {
            (*pending_)();
        } catch (...) {
            error = std::current_exception();
        }
        error_ = std::move(error);
        VX_TSAN_RELEASE(this);
        w = word_.load(std::memory_order_relaxed);
        while (!word_.compare_exchange_weak(w, (w & ~(kStateMask | kWorkerAsleep)) | kDone,
                                            std::memory_order_acq_rel)) {
        }
        if ((w & (kWorkerAsleep | kCancelled)) != 0) {
            Wake();
        }
        if ((w & kCancelled) != 0) {
            return;
        }
        if (const Clock::time_point now = Clock::now(); now >= sliceEnd) {
            ownerLeftAt_ = now;
            return;
        }
        // Wait briefly for the worker's next call and run it here.
        Clock::duration waited{};
        word_.fetch_or(kListening, std::memory_order_acq_rel);
        WaitFor(
            [](std::uint32_t v) { return (v & kStateMask) == kPending || (v & kCancelled) != 0; },
            kOwnerAsleep, ownerSpinNs_, kOwnerWaitNs, waited);
        Adapt(ownerSpinNs_, kOwnerMaxSpinNs, waited);
        const std::uint32_t before =
            word_.fetch_and(~(kListening | kOwnerAsleep), std::memory_order_acq_rel);
        if ((before & kCancelled) != 0 || (before & kStateMask) != kPending) {
            return; // the worker is busy walking: back to the event loop
        }
        // A call left to us (no event carries it) waits: run it.
    }
}

void THandOver::Cancel() {
    std::lock_guard<std::mutex> lock(postMutex_);
    word_.fetch_or(kCancelled, std::memory_order_acq_rel);
    Wake();
}

bool THandOver::Running() const {
    return (word_.load(std::memory_order_acquire) & kStateMask) == kRunning;
}

bool THandOver::Deliver(QEvent* event) {
    VX_TSAN_ACQUIRE(event); // see Post()
    if (event->type() != EventType()) {
        return false;
    }
    THandOver* handOver = static_cast<THandOverEvent*>(event)->handOver_.get();
    VX_TSAN_ACQUIRE(handOver);
    handOver->RunPending();
    return true;
}
