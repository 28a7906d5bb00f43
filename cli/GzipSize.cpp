#include "cli/GzipSize.h"

#include <new>
#include <zlib.h>

namespace {

constexpr int Level = 6;
constexpr int GzipWindowBits = 15 + 16; // a 32 KiB window with the gzip header and trailer
constexpr int MemLevel = 8;

} // namespace

struct GzipSize::Stream {
    z_stream z{};
    std::uint64_t total = 0;
    unsigned char out[1 << 15];

    void Run(int flush) {
        do {
            z.next_out = out;
            z.avail_out = sizeof out;
            ::deflate(&z, flush);
            total += sizeof out - z.avail_out;
        } while (z.avail_out == 0);
    }
};

GzipSize::GzipSize() : stream_(new Stream) {
    if (::deflateInit2(&stream_->z, Level, Z_DEFLATED, GzipWindowBits, MemLevel,
                       Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
}

GzipSize::~GzipSize() {
    ::deflateEnd(&stream_->z);
}

void GzipSize::Add(std::string_view bytes) {
    // zlib counts in uInt: a very large piece goes in parts.
    constexpr std::size_t Most = 1u << 30;
    while (!bytes.empty()) {
        const std::size_t n = bytes.size() < Most ? bytes.size() : Most;
        stream_->z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        stream_->z.avail_in = static_cast<uInt>(n);
        stream_->Run(Z_NO_FLUSH);
        bytes.remove_prefix(n);
    }
}

std::uint64_t GzipSize::Finish() {
    stream_->z.next_in = nullptr;
    stream_->z.avail_in = 0;
    stream_->Run(Z_FINISH);
    return stream_->total;
}
