#pragma once
// Whether the bytes a step gives out are exactly the file's bytes, told while
// both go by a piece at a time. The output usually lags the input by a few
// pieces (the step holds back what a later byte may still change), so the
// input not yet matched is kept up to a bound; past it, or where the output runs
// ahead of what was read, the file itself is read again at the output's offset
// (through the descriptor it is being read on, so it is the very file read).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class InputFile;

class SameBytes {
public:
    // file: the file being read, which must outlive this.
    explicit SameBytes(InputFile& file, std::size_t keepBytes = DefaultKeep);
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
    // Compares bytes with the file's own at offset at; false when they differ.
    // Throws the file's read error.
    bool MatchesFile(std::uint64_t at, std::string_view bytes);
    void Mismatch();

    InputFile& file_;
    std::size_t keepBytes_;
    std::string kept_;     // the input [keptStart_ + used_, readPos_)
    std::size_t used_ = 0; // bytes at the front of kept_ already matched
    std::uint64_t keptStart_ = 0;
    std::uint64_t readPos_ = 0; // input bytes read
    std::uint64_t outPos_ = 0;  // output bytes given (all matched unless differ_)
    bool differ_ = false;
};
