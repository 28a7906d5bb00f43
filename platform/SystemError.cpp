#include "platform/SystemError.h"

#include <cstring>

namespace {

// strerror_r comes in two flavours: the GNU one returns the text, the POSIX one
// fills the buffer and returns a status. Overloads pick whichever the C library has.
[[maybe_unused]] const char* PickText(const char* result, const char*) {
    return result;
}
[[maybe_unused]] const char* PickText(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}

} // namespace

std::string SystemErrorText(int errnum) {
    char buffer[256] = {};
    const char* text = PickText(strerror_r(errnum, buffer, sizeof buffer), buffer);
    if (text == nullptr || *text == '\0')
        return "Unknown error " + std::to_string(errnum);
    return text;
}
