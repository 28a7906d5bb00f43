#pragma once
// How a caller follows and stops a command over many files: told how many are
// done of how many after each file, and asked between two files whether to stop.

#include <cstddef>
#include <functional>

struct BatchControl {
    std::function<void(std::size_t done, std::size_t total)> progress;
    std::function<bool()> stopRequested;

    void Report(std::size_t done, std::size_t total) const {
        if (progress)
            progress(done, total);
    }
    bool ShouldStop() const { return stopRequested && stopRequested(); }
};
