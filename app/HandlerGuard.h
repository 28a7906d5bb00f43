#pragma once
// Every event handler runs inside RunGuarded: an exception never crosses a Qt frame;
// it is shown in the error message box and the program goes on. Lower layers that
// run code of their own inside Qt's event delivery (the scanner's end event) catch
// its errors and hand them up; ShowReportedError shows them the same way.

#include "app/MessageBoxes.h"

#include <exception>
#include <new>
#include <utility>

// Runs handler(); on an exception runs onFailure() (which must not throw), then
// shows the error. Returns true when the handler ran to its end.
template <typename Handler, typename OnFailure>
bool RunGuarded(Handler&& handler, OnFailure&& onFailure) noexcept {
    QString message;
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (const std::bad_alloc&) {
        message = QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    std::forward<OnFailure>(onFailure)();
    ShowErrorMessage(message);
    return false;
}

template <typename Handler> bool RunGuarded(Handler&& handler) noexcept {
    return RunGuarded(std::forward<Handler>(handler), [] {});
}

// Shows an error a lower layer caught and handed up, as RunGuarded shows its own.
inline void ShowReportedError(std::exception_ptr error) noexcept {
    RunGuarded([&] { std::rethrow_exception(error); });
}
