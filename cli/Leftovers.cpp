#include "cli/Leftovers.h"

#include "platform/SystemError.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Files(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " temporary file" : " temporary files");
}

} // namespace

std::string LeftoversNotice(std::size_t count) {
    return Files(count) + " of an interrupted run found; --remove-leftovers deletes them";
}

LeftoversRemoved RemoveLeftovers(const std::vector<std::string>& paths) {
    LeftoversRemoved result;
    for (const std::string& path : paths) {
        struct stat st {};
        int err = 0;
        if (::lstat(path.c_str(), &st) != 0)
            err = errno;
        else if (!S_ISREG(st.st_mode))
            continue;
        else if (::unlink(path.c_str()) != 0)
            err = errno;
        if (err == ENOENT)
            continue; // gone already
        if (err != 0)
            result.errors.push_back("cannot delete \"" + path + "\": " + SystemErrorText(err));
        else
            ++result.removed;
    }
    return result;
}
