#include "platform/StopSignals.h"

#include <atomic>
#include <csignal>

namespace {

// Read by every worker thread: an atomic, which a handler may set when it is
// lock-free.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int signal) {
    int none = 0;
    stopSignal.compare_exchange_strong(none, signal);
}

} // namespace

void InstallStopSignalHandlers() {
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    // No SA_RESTART: a write to a stalled pipe or terminal returns instead of
    // keeping the run from its end; files are read and written on disks, where
    // no call is cut short by a signal.
    stop.sa_flags = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &stop, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

int StopSignalReceived() {
    return stopSignal.load();
}

const char* StopSignalName(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}
