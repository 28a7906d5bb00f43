#include "app/BatchProgress.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProgressDialog>

#include <algorithm>
#include <climits>

namespace {

// Often enough that the window repaints and answers at once, seldom enough that
// handling events costs nothing beside the files.
constexpr qint64 kEventsEveryMs = 50;
constexpr int kShowAfterMs = 500;

int Clamped(std::size_t n) {
    return static_cast<int>(std::min<std::size_t>(n, INT_MAX));
}

} // namespace

BatchProgress::BatchProgress(QWidget* window, const QString& doing)
    : dialog_(std::make_unique<QProgressDialog>(window)), doing_(doing) {
    dialog_->setObjectName(QStringLiteral("BatchProgress"));
    dialog_->setWindowTitle(QGuiApplication::applicationDisplayName());
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setAutoReset(false);
    dialog_->setAutoClose(false);
    dialog_->setMinimumDuration(kShowAfterMs);
    dialog_->setLabelText(doing_);
    dialog_->setValue(0); // the half second counts from here
}

BatchProgress::~BatchProgress() = default;

BatchControl BatchProgress::Control() {
    BatchControl control;
    control.progress = [this](std::size_t done, std::size_t total) {
        Report(done, total);
    };
    control.stopRequested = [this] {
        return StopRequested();
    };
    return control;
}

bool BatchProgress::StopRequested() const {
    return stopAsked_ || dialog_->wasCanceled();
}

void BatchProgress::Report(std::size_t done, std::size_t total) {
    // The first file handles the events at once, so the window shows itself busy
    // before the work goes on.
    if (sinceEvents_.isValid() && sinceEvents_.elapsed() < kEventsEveryMs)
        return;
    sinceEvents_.start();
    if (dialog_->wasCanceled())
        return; // the command stops before its next file
    dialog_->setMaximum(Clamped(total));
    dialog_->setLabelText(doing_ + QStringLiteral("\n%1 of %2 files").arg(done).arg(total));
    if (done > 0)                         // 0 would start the half second again
        dialog_->setValue(Clamped(done)); // shows the dialog once its time has come
    QCoreApplication::processEvents();
}
