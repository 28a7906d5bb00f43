#include "platform/TempNames.h"

namespace {

constexpr std::string_view kMark = ".vx-";
constexpr std::string_view kEnd = ".tmp";
constexpr std::size_t kSuffixLength = 6;

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

bool IsWriteTemporaryName(std::string_view name) {
    // The shortest: "." + one byte + ".vx-" + six + ".tmp". Most names fail on
    // their length or their last four bytes, which keeps the walk's check cheap.
    constexpr std::size_t tail = kMark.size() + kSuffixLength + kEnd.size();
    if (name.size() < 2 + tail || name.front() != '.' || !name.ends_with(kEnd)) {
        return false;
    }
    const std::size_t mark = name.size() - tail;
    if (name.substr(mark, kMark.size()) != kMark) {
        return false;
    }
    for (char c : name.substr(mark + kMark.size(), kSuffixLength)) {
        if (!IsAsciiAlnum(c)) {
            return false;
        }
    }
    return true;
}

std::string WriteTemporaryName(std::string_view targetName, std::string_view suffix6) {
    std::string name = ".";
    name += targetName.substr(0, kMaxNameInWriteTemporary);
    name += kMark;
    name += suffix6;
    name += kEnd;
    return name;
}
