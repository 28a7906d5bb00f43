#include "platform/OpenFilesLimit.h"

#include <sys/resource.h>

std::uint64_t OpenFilesLimit() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::uint64_t{1} << 20;
    return limit.rlim_cur;
}
