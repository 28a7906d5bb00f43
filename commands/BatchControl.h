#pragma once
// How a caller follows and stops a command over many files: told how many are
// done of how many after each file, and a stop token the command looks at
// between two files.

#include <cstddef>
#include <functional>
#include <stop_token>

struct BatchControl {
    std::function<void(std::size_t done, std::size_t total)> progress;
    std::stop_token stop;

    void Report(std::size_t done, std::size_t total) const {
        if (progress)
            progress(done, total);
    }
    bool ShouldStop() const { return stop.stop_requested(); }
};
