#include "text/ListOrder.h"

#include <algorithm>
#include <cstddef>

namespace {

inline unsigned char Folded(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

} // namespace

bool FileListBefore(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = Folded(a[i]);
        const unsigned char y = Folded(b[i]);
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}
