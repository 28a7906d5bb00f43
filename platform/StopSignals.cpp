#include "platform/StopSignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace {

// Read by every worker thread: an atomic, which a handler may set when it is
// lock-free.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);
// The pipe a StopSignalWatch waits on, made by the first one and never closed:
// a handler may still hold its number while a watch ends.
std::atomic<int> wakeFd{-1};
int wakeReadFd = -1;

extern "C" void OnStopSignal(int signal) {
    const int saved = errno;
    int none = 0;
    stopSignal.compare_exchange_strong(none, signal);
    // write() is safe in a handler; a full pipe has a byte waiting already.
    if (const int fd = wakeFd.load(); fd >= 0) [[maybe_unused]]
        const ssize_t n = ::write(fd, "s", 1);
    errno = saved;
}

} // namespace

StopSignalWatch::StopSignalWatch(std::stop_source source) : source_(std::move(source)) {
    if (StopSignalReceived() != 0)
        source_.request_stop();
    static const bool piped = [] {
        int fds[2];
        // The write end does not block (a handler must return); the read end does.
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
        wakeReadFd = fds[0];
        wakeFd.store(fds[1]);
        return true;
    }();
    if (!piped)
        return; // the flag alone: the run sees it between files
    try {
        thread_ = std::thread([this] { Watch(); });
    } catch (const std::system_error&) {
        // No thread to spare: the same.
    }
}

StopSignalWatch::~StopSignalWatch() {
    if (!thread_.joinable())
        return;
    ending_.store(true);
    [[maybe_unused]] const ssize_t n = ::write(wakeFd.load(), "e", 1);
    thread_.join();
}

void StopSignalWatch::Watch() {
    char byte = 0;
    while (!ending_.load()) {
        const ssize_t n = ::read(wakeReadFd, &byte, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n != 1)
            return;
        if (StopSignalReceived() != 0)
            source_.request_stop();
    }
}

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
