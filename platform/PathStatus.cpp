#include "platform/PathStatus.h"

#include <sys/stat.h>

PathStatus StatusOfPath(const std::string& path) {
    PathStatus status;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return status;
    status.exists = true;
    status.directory = S_ISDIR(st.st_mode);
    status.regular = S_ISREG(st.st_mode);
    status.device = static_cast<std::uint64_t>(st.st_dev);
    status.inode = static_cast<std::uint64_t>(st.st_ino);
    return status;
}
