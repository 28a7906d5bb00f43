#pragma once
// How many bytes a text takes gzip-compressed as web servers commonly send it
// (zlib, level 6, gzip wrapper), counted while the text goes by a piece at a
// time: the compressed bytes themselves are thrown away.

#include <cstdint>
#include <memory>
#include <string_view>

class GzipSize {
public:
    GzipSize();
    ~GzipSize();
    GzipSize(const GzipSize&) = delete;
    GzipSize& operator=(const GzipSize&) = delete;

    void Add(std::string_view bytes);
    // The size of the whole gzip stream; call once, at the end.
    std::uint64_t Finish();

private:
    struct Stream;
    std::unique_ptr<Stream> stream_;
};
