#include "cli/SameBytes.h"

#include "platform/FileIO.h"

#include <algorithm>
#include <cstring>

SameBytes::SameBytes(InputFile& file, std::size_t keepBytes)
    : file_(file), keepBytes_(std::max<std::size_t>(keepBytes, 1)) {}

void SameBytes::Mismatch() {
    differ_ = true;
    std::string().swap(kept_);
    used_ = 0;
}

void SameBytes::Read(std::string_view bytes) {
    const std::uint64_t start = readPos_;
    readPos_ += bytes.size();
    if (differ_)
        return;
    // Bytes the output has passed were matched against the file already.
    const std::size_t skip =
        outPos_ > start
            ? static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), outPos_ - start))
            : 0;
    if (kept_.size() == used_) {
        kept_.clear();
        used_ = 0;
        keptStart_ = start + skip;
    }
    kept_.append(bytes.substr(skip));
    if (kept_.size() - used_ > keepBytes_) {
        // Too far ahead of the output: the file is read again where needed.
        kept_.clear();
        used_ = 0;
        keptStart_ = readPos_;
    }
}

void SameBytes::Written(std::string_view bytes) {
    std::uint64_t at = outPos_;
    outPos_ += bytes.size();
    if (differ_)
        return;
    while (!bytes.empty()) {
        std::size_t n = bytes.size();
        bool same = true;
        if (at < keptStart_) {
            n = static_cast<std::size_t>(std::min<std::uint64_t>(n, keptStart_ - at));
            same = MatchesFile(at, bytes.substr(0, n));
        } else if (at < readPos_) {
            n = static_cast<std::size_t>(std::min<std::uint64_t>(n, readPos_ - at));
            const std::size_t offset = used_ + static_cast<std::size_t>(at - keptStart_);
            same = std::memcmp(kept_.data() + offset, bytes.data(), n) == 0;
        } else {
            same = MatchesFile(at, bytes);
        }
        if (!same) {
            Mismatch();
            return;
        }
        at += n;
        bytes.remove_prefix(n);
    }
    // The kept bytes the output has passed are no longer needed.
    if (outPos_ > keptStart_) {
        const auto done = static_cast<std::size_t>(std::min(outPos_, readPos_) - keptStart_);
        used_ += done;
        keptStart_ += done;
        if (used_ == kept_.size()) {
            kept_.clear();
            used_ = 0;
        } else if (used_ > (std::size_t{64} << 10) && used_ > kept_.size() / 2) {
            kept_.erase(0, used_);
            used_ = 0;
        }
    }
}

bool SameBytes::MatchesFile(std::uint64_t at, std::string_view bytes) {
    char buffer[1 << 16];
    while (!bytes.empty()) {
        const std::size_t want = std::min(bytes.size(), sizeof buffer);
        const std::size_t got = file_.ReadAt(buffer, want, at);
        if (got == 0 || std::memcmp(buffer, bytes.data(), got) != 0)
            return false;
        at += got;
        bytes.remove_prefix(got);
    }
    return true;
}
