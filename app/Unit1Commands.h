#pragma once
// What the main window's command files share: running one command guarded, and
// reading what the user typed into a change field or chose in a file dialog.

#include "app/BatchProgress.h"
#include "app/HandlerGuard.h"
#include "app/Unit1.h"

#include <QScopeGuard>

#include <string>
#include <type_traits>
#include <utility>

class QFileDialog;
class QPlainTextEdit;

// What a change field holds, as the program's text: every line break CR LF.
std::string MemoText(const QPlainTextEdit& memo);
// A path chosen in a file dialog, as the program's bytes (empty when none).
std::string ChosenPath(const QFileDialog& dialog);

template <typename Body> void TForm1::RunCommand(Body&& body, TextUse use) {
    const Availability before = CaptureAvailability();
    // The text the command starts from is kept by the document itself, moved
    // aside by the first change rather than copied up front.
    const bool checkpoint = use == TextUse::Changes && document_.Checkpoint();
    const auto restore = [&]() noexcept {
        // The command stopped part-way: give the user back the window as it was
        // before it, so nothing half-done can be saved and nothing stays busy.
        try {
            if (checkpoint)
                document_.Rollback();
            RestoreAvailability(before);
            RefreshView();
        } catch (...) {
            // Nothing more can be done; the error box follows.
        }
    };
    // A body that returns false was stopped by the user: the window goes back
    // as it was before it, as after a failure, but no error is shown.
    bool stopped = false;
    const bool ended = RunGuarded(
        [&] {
            if constexpr (std::is_same_v<decltype(body()), bool>)
                stopped = !std::forward<Body>(body)();
            else
                std::forward<Body>(body)();
        },
        restore);
    if (stopped)
        restore();
    else if (ended && checkpoint)
        document_.Release();
    RunGuarded([this] { RefreshView(); });
}

template <typename Body> void TForm1::RunBatchCommand(const QString& doing, Body&& body) {
    // The progress lives only as long as the command; a close asked meanwhile
    // waits for its end.
    RunGuarded([&] {
        BatchProgress progress(this, doing);
        progress_ = &progress;
        RunCommand([&] {
            // A failure's error box comes after the unwinding: the dialog has gone.
            const auto closeFirst = qScopeGuard([&] { progress.Close(); });
            return body(progress);
        });
        progress_ = nullptr;
    });
    progress_ = nullptr;
    if (closeWhenEnded_) {
        closeWhenEnded_ = false;
        close();
    }
}
