#include "text/StreamComparison.h"

#include <algorithm>
#include <cstring>

void StreamComparison::Add(std::string_view bytes, bool read) {
    if (differ_ || bytes.empty())
        return;
    if (ahead_.size() == used_ || readAhead_ == read) {
        // This stream is ahead (or level): keep its bytes until the other's come.
        if (ahead_.size() == used_) {
            ahead_.clear();
            used_ = 0;
            readAhead_ = read;
        }
        if (ahead_.size() - used_ + bytes.size() > AheadBytes) {
            differ_ = true;
            std::string().swap(ahead_);
            return;
        }
        if (used_ > 0 && used_ >= ahead_.size() / 2) {
            ahead_.erase(0, used_);
            used_ = 0;
        }
        ahead_.append(bytes);
        return;
    }
    const std::size_t n = std::min(bytes.size(), ahead_.size() - used_);
    if (std::memcmp(ahead_.data() + used_, bytes.data(), n) != 0) {
        differ_ = true;
        std::string().swap(ahead_);
        return;
    }
    used_ += n;
    if (n < bytes.size()) {
        // This one is ahead now.
        ahead_.assign(bytes.substr(n));
        used_ = 0;
        readAhead_ = read;
    }
}
