#pragma once
// Whether the bytes a step gives out are exactly the file's bytes, told while
// both go by a piece at a time. The output usually lags the input by a few
// pieces (the step holds back what a later byte may still change), so the
// input not yet matched is kept up to a bound; past it, or where the output runs
// ahead of what was read, the file itself is read again at the output's offset
// (on a descriptor of its own, which must be the file as it was first read).

#include "platform/FileStamp.h"
#include "platform/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class SameBytes {
public:
    SameBytes(std::string path, const FileStamp& readAs, std::size_t keepBytes = DefaultKeep);
    SameBytes(const SameBytes&) = delete;
    SameBytes& operator=(const SameBytes&) = delete;

    // The file's next bytes, as read.
    void Read(std::string_view bytes);
    // The step's next bytes.
    void Written(std::string_view bytes);
    // True once a byte differs, or the output passed the file's size.
    bool Differ() const { return differ_; }
    // At the end of both: true when the two differ in any byte or in length.
    bool DifferAtEnd() const { return differ_ || readPos_ != outPos_; }

    static constexpr std::size_t DefaultKeep = std::size_t{4} << 20;

private:
    // Compares bytes with the file's own at offset at; false when they differ or
    // the file cannot be read again as the file read.
    bool MatchesFile(std::uint64_t at, std::string_view bytes);
    void Mismatch();

    std::string path_;
    FileStamp readAs_;
    std::size_t keepBytes_;
    std::string kept_;     // the input [keptStart_ + used_, readPos_)
    std::size_t used_ = 0; // bytes at the front of kept_ already matched
    std::uint64_t keptStart_ = 0;
    std::uint64_t readPos_ = 0; // input bytes read
    std::uint64_t outPos_ = 0;  // output bytes given (all matched unless differ_)
    UniqueFd again_;            // the file opened a second time, when needed
    bool differ_ = false;
};
