#include "app/BatchProgress.h"

#include "app/MessageBoxes.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <exception>
#include <thread>

namespace {

// How often the figures are shown and a stop looked at while the worker runs.
constexpr int kPollMs = 50;
constexpr int kShowAfterMs = 500;

int Clamped(std::size_t n) {
    return static_cast<int>(std::min<std::size_t>(n, INT_MAX));
}

} // namespace

BatchProgress::BatchProgress(QWidget* window, const QString& doing)
    : dialog_(std::make_unique<QProgressDialog>(window)), doing_(doing) {
    dialog_->setObjectName(QStringLiteral("BatchProgress"));
    dialog_->setWindowTitle(QGuiApplication::applicationDisplayName());
    MakeOwnedBox(*dialog_); // over the window, its title whole
    // Not modal: a window blocked by a modal dialog never hears the window
    // manager's close button (Qt drops the request), and the window's commands are
    // off anyway while one runs. The dialog stays over its window.
    dialog_->setWindowModality(Qt::NonModal);
    dialog_->setAutoReset(false);
    dialog_->setAutoClose(false);
    dialog_->setMinimumDuration(kShowAfterMs);
    dialog_->setLabelText(doing_);
    dialog_->setValue(0); // the half second counts from here
    // However the box is cancelled (its button, Escape, its close button), the
    // command hears it at once, on whichever thread it runs.
    QObject::connect(dialog_.get(), &QProgressDialog::canceled, [this] { stop_.request_stop(); });
}

BatchProgress::~BatchProgress() = default;

bool BatchProgress::StopRequested() const {
    if (dialog_->wasCanceled())
        stop_.request_stop(); // however the box was cancelled
    return stop_.stop_requested();
}

void BatchProgress::Close() {
    if (closed_)
        return;
    closed_ = true;
    // reset() also stops the timer that would show the dialog later on its own.
    dialog_->reset();
    dialog_->hide();
}

void BatchProgress::Show(std::size_t done, std::size_t total) {
    if (closed_ || total == 0)
        return; // no figures yet: the box is sized by the first ones
    dialog_->setMaximum(Clamped(total));
    const auto label = [this, total](std::size_t n) {
        return doing_ + QStringLiteral("\n%1 of %2 files").arg(n).arg(total);
    };
    if (!sized_) {
        // Its size fixed for the widest figures: the window manager then offers
        // no maximize button, and the box does not jump as the figures grow.
        sized_ = true;
        dialog_->setLabelText(label(total));
        dialog_->setFixedSize(dialog_->sizeHint().expandedTo(dialog_->minimumSize()));
    }
    dialog_->setLabelText(label(done));
    if (done > 0)                         // 0 would start the half second again
        dialog_->setValue(Clamped(done)); // shows the dialog once its time has come
}

void BatchProgress::RunOnWorkerThread(const std::function<void(const BatchControl&)>& work) {
    BatchControl control;
    control.progress = [this](std::size_t done, std::size_t total) {
        workerTotal_.store(total, std::memory_order_relaxed);
        workerDone_.store(done, std::memory_order_relaxed);
    };
    control.stop = stop_.get_token();

    QEventLoop loop;
    std::atomic<bool> ended{false};
    std::exception_ptr failure;
    // The figures are shown and a stop is passed on while the worker runs.
    QTimer poll;
    poll.setInterval(kPollMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!StopRequested())
            Show(workerDone_.load(std::memory_order_relaxed),
                 workerTotal_.load(std::memory_order_relaxed));
        if (ended.load())
            loop.quit();
    });
    poll.start();
    std::jthread worker([&] {
        try {
            work(control);
        } catch (...) {
            failure = std::current_exception();
        }
        ended.store(true);
        // Wakes the window's loop at once rather than at the next poll.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // A quit posted before exec() started would be lost: the poll sees `ended`.
    while (!ended.load())
        loop.exec();
    worker.join();
    poll.stop();
    Close();
    if (failure)
        std::rethrow_exception(failure);
}
