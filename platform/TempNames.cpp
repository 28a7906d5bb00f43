#include "platform/TempNames.h"

#include <cstdint>

namespace {

constexpr std::string_view kMark = ".vx-";
constexpr std::string_view kEnd = ".tmp";
constexpr std::size_t kCheckLength = 4;
constexpr std::size_t kSuffixLength = kWriteTemporaryRandomLength + kCheckLength;
constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The check characters of a target's name (as kept in the temporary's name) and
// the random part: FNV-1a over both, a zero byte between them.
std::string Check(std::string_view name, std::string_view random) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    auto mix = [&h](std::string_view bytes) {
        for (char c : bytes) {
            h ^= static_cast<unsigned char>(c);
            h *= 0x100000001b3ull;
        }
    };
    mix(name);
    mix(std::string_view("\0", 1));
    mix(random);
    h ^= h >> 29;
    std::string check(kCheckLength, 'A');
    for (char& c : check) {
        c = kAlphabet[h % kAlphabet.size()];
        h /= kAlphabet.size();
    }
    return check;
}

} // namespace

bool IsWriteTemporaryName(std::string_view name) {
    // The shortest: "." + one byte + ".vx-" + twelve + ".tmp". Most names fail
    // on their length or their last four bytes, which keeps the walk's check cheap.
    constexpr std::size_t tail = kMark.size() + kSuffixLength + kEnd.size();
    if (name.size() < 2 + tail || name.front() != '.' || !name.ends_with(kEnd)) {
        return false;
    }
    const std::size_t mark = name.size() - tail;
    if (name.substr(mark, kMark.size()) != kMark) {
        return false;
    }
    const std::string_view suffix = name.substr(mark + kMark.size(), kSuffixLength);
    for (char c : suffix) {
        if (!IsAsciiAlnum(c)) {
            return false;
        }
    }
    return suffix.substr(kWriteTemporaryRandomLength) ==
           Check(name.substr(1, mark - 1), suffix.substr(0, kWriteTemporaryRandomLength));
}

std::string WriteTemporaryName(std::string_view targetName, std::string_view random8) {
    const std::string_view kept = targetName.substr(0, kMaxNameInWriteTemporary);
    std::string name = ".";
    name += kept;
    name += kMark;
    name += random8;
    name += Check(kept, random8);
    name += kEnd;
    return name;
}
