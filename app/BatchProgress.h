#pragma once
// Keeps the window alive while a command works through many files: the events
// are handled at most every 50 ms (not per file), a window-modal progress dialog
// shows files done of total once the command has run half a second, and Cancel
// (or RequestStop) asks the command to stop before the next file.

#include "commands/BatchControl.h"

#include <QElapsedTimer>
#include <QString>

#include <cstddef>
#include <memory>

class QProgressDialog;
class QWidget;

class BatchProgress {
public:
    BatchProgress(QWidget* window, const QString& doing);
    ~BatchProgress();
    BatchProgress(const BatchProgress&) = delete;
    BatchProgress& operator=(const BatchProgress&) = delete;

    // What the command is handed; valid while this lives.
    BatchControl Control();
    void RequestStop() { stopAsked_ = true; }
    bool StopRequested() const;

private:
    void Report(std::size_t done, std::size_t total);

    std::unique_ptr<QProgressDialog> dialog_;
    QString doing_;
    QElapsedTimer sinceEvents_;
    bool stopAsked_ = false;
};
