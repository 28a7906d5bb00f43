#include "text/ListOrder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

inline unsigned char Folded(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

} // namespace

bool FileListBefore(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    // Paths of one tree share long beginnings; bytes that are equal are equal
    // folded too, so they are passed eight at a time.
    std::size_t i = 0;
    while (i + 8 <= n && std::memcmp(a.data() + i, b.data() + i, 8) == 0)
        i += 8;
    for (; i < n; ++i) {
        const unsigned char x = Folded(a[i]);
        const unsigned char y = Folded(b[i]);
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}
