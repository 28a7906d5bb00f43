#include "cli/Progress.h"

#include "platform/Terminal.h"

#include <string>

ProgressBar::ProgressBar(std::size_t total, bool enabled, std::FILE* stream)
    : total_(total), enabled_(enabled && total > 0), stream_(stream), start_(Clock::now()),
      last_(start_) {}

bool ProgressBar::ForTerminal() {
    return StandardErrorIsTerminal();
}

void ProgressBar::Update(std::size_t done) {
    if (!enabled_)
        return;
    const Clock::time_point now = Clock::now();
    if (now - start_ < Delay || (shown_ && now - last_ < Interval && done < total_))
        return;
    last_ = now;
    constexpr std::size_t Width = 40;
    const std::size_t filled = total_ == 0 ? Width : done * Width / total_;
    std::string bar(filled, '#');
    bar.append(Width - filled, '-');
    std::fprintf(stream_, "\r[%s] %zu/%zu files", bar.c_str(), done, total_);
    std::fflush(stream_);
    shown_ = true;
}

void ProgressBar::Clear() {
    if (!shown_)
        return;
    std::fprintf(stream_, "\r\033[K");
    std::fflush(stream_);
    shown_ = false;
}
