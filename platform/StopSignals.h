#pragma once
// The signals that ask a program to stop: SIGINT, SIGTERM and SIGHUP only record
// which one came first, for the program to look at when it can stop cleanly.
// SIGPIPE is ignored, so that a write to a closed pipe fails with EPIPE instead
// of ending the process.

#include <atomic>
#include <stop_token>
#include <thread>

// Installs the handlers (without SA_RESTART) and ignores SIGPIPE.
void InstallStopSignalHandlers();

// The first stop signal that arrived, or 0. Safe to call from any thread.
int StopSignalReceived();

// "SIGINT", "SIGTERM", "SIGHUP"; "a signal" for any other number.
const char* StopSignalName(int signal);

// While it lives, a stop signal (after InstallStopSignalHandlers) requests a stop
// on source at once, so that threads waiting on its token wake: the handler
// writes a byte to a pipe, which a thread of this watch reads. A signal that came
// before requests it at the start.
class StopSignalWatch {
public:
    explicit StopSignalWatch(std::stop_source source);
    ~StopSignalWatch();
    StopSignalWatch(const StopSignalWatch&) = delete;
    StopSignalWatch& operator=(const StopSignalWatch&) = delete;

private:
    void Watch();

    std::stop_source source_;
    std::atomic<bool> ending_{false};
    std::thread thread_;
};
