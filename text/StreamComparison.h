#pragma once
// Whether two byte streams, each given a piece at a time, differ: the bytes of
// the stream that is ahead are kept until the other's come.

#include <cstddef>
#include <string>
#include <string_view>

class StreamComparison {
public:
    void Read(std::string_view bytes) { Add(bytes, true); }
    void Written(std::string_view bytes) { Add(bytes, false); }
    bool Differ() const { return differ_ || ahead_.size() > used_; }

    // How far one stream may run ahead of the other while they are compared: two
    // streams that far out of step count as different.
    static constexpr std::size_t AheadBytes = std::size_t{1} << 20;

private:
    void Add(std::string_view bytes, bool read);
    std::string ahead_; // the bytes of the stream that is ahead, from used_
    std::size_t used_ = 0;
    bool readAhead_ = false;
    bool differ_ = false;
};
