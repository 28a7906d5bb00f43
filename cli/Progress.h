#pragma once
// A one-line progress bar on standard error, drawn only when standard error is a
// terminal and the run has lasted long enough to be worth one.

#include <chrono>
#include <cstddef>
#include <cstdio>

class ProgressBar {
public:
    // enabled: whether the stream is a terminal (see ForTerminal).
    ProgressBar(std::size_t total, bool enabled, std::FILE* stream = stderr);
    ~ProgressBar() { Clear(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // True when standard error is a terminal.
    static bool ForTerminal();

    void Update(std::size_t done);
    // Removes the bar, so that what is printed next starts on a clean line.
    void Clear();

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds Delay{500};
    static constexpr std::chrono::milliseconds Interval{100};

    std::size_t total_;
    bool enabled_;
    std::FILE* stream_;
    bool shown_ = false;
    Clock::time_point start_;
    Clock::time_point last_;
};
