#include "platform/PathLookup.h"

#include "platform/Paths.h"

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string AbsolutePath(const std::string& path) {
    if (path.starts_with('/'))
        return path;
    const std::unique_ptr<char, decltype(&::free)> current(::getcwd(nullptr, 0), &::free);
    return current ? JoinPath(current.get(), path) : path;
}
