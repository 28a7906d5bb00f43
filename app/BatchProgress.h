#pragma once
// Runs a command over many files on a worker thread while the window handles its
// events: a progress dialog over the window shows files done of total once the
// command has run half a second, and Cancel (or RequestStop) asks the command,
// through its stop token, to stop before the next file. Only the figures and the
// stop request pass between the two threads.

#include "commands/BatchControl.h"

#include <QString>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <utility>

class QProgressDialog;
class QWidget;

class BatchProgress {
public:
    BatchProgress(QWidget* window, const QString& doing);
    ~BatchProgress();
    BatchProgress(const BatchProgress&) = delete;
    BatchProgress& operator=(const BatchProgress&) = delete;

    void RequestStop() { stop_.request_stop(); }
    bool StopRequested() const;
    // The work is over: the dialog goes (before the command's closing message or
    // error box) and does not come back.
    void Close();

    // Runs work(control) on a worker thread and handles the window's events until
    // it has ended; returns its result or throws what it threw. The window's
    // thread must not touch what work uses meanwhile (the commands are disabled).
    template <typename Work> auto RunOnWorker(Work&& work) {
        using Result = decltype(work(std::declval<const BatchControl&>()));
        std::optional<Result> result;
        RunOnWorkerThread([&](const BatchControl& control) { result.emplace(work(control)); });
        return std::move(*result);
    }

private:
    void Show(std::size_t done, std::size_t total);
    void RunOnWorkerThread(const std::function<void(const BatchControl&)>& work);

    std::unique_ptr<QProgressDialog> dialog_;
    QString doing_;
    // Asked by Cancel, Escape and the box's close button too.
    mutable std::stop_source stop_;
    bool closed_ = false;
    bool sized_ = false;
    // What the worker reports, read and written from both threads.
    std::atomic<std::size_t> workerDone_{0};
    std::atomic<std::size_t> workerTotal_{0};
};
