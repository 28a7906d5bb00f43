#include "scanner/HandOver.h"

#include <QCoreApplication>
#include <QObject>

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

void THandOver::Call(const std::function<void()>& call) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (cancelled_) {
        throw EScanCancelled();
    }
    pending_ = &call;
    error_ = nullptr;
    state_ = State::Pending;
    auto* event = new THandOverEvent(shared_from_this());
    VX_TSAN_RELEASE(this);
    // Posted under the lock: Cancel() takes it too, so the receiver is alive here.
    QCoreApplication::postEvent(receiver_, event);
    // A call in progress is waited for even when cancelled: it refers to our frame.
    changed_.wait(
        lock, [this] { return state_ == State::Done || (cancelled_ && state_ != State::Running); });
    const bool done = state_ == State::Done;
    std::exception_ptr error = std::move(error_);
    error_ = nullptr;
    pending_ = nullptr;
    state_ = State::Idle;
    lock.unlock();
    VX_TSAN_ACQUIRE(this);
    if (!done) {
        throw EScanCancelled();
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

void THandOver::RunPending() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (state_ != State::Pending || cancelled_) {
        return;
    }
    VX_TSAN_ACQUIRE(this);
    state_ = State::Running;
    const std::function<void()>* call = pending_;
    lock.unlock();
    std::exception_ptr error;
    try {
        (*call)();
    } catch (...) {
        error = std::current_exception();
    }
    lock.lock();
    error_ = std::move(error);
    state_ = State::Done;
    VX_TSAN_RELEASE(this);
    changed_.notify_all();
}

void THandOver::Cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
}

bool THandOver::Running() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_ == State::Running;
}

bool THandOver::Deliver(QEvent* event) {
    if (event->type() != EventType()) {
        return false;
    }
    static_cast<THandOverEvent*>(event)->handOver_->RunPending();
    return true;
}
