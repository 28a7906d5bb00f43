#include "platform/PathIdentity.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

std::string ResolvedAsFarAsItExists(const std::string& path) {
    std::string absolute = path;
    if (absolute.empty() || absolute.front() != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd) == nullptr)
            return path;
        absolute = std::string(cwd) + "/" + path;
    }
    // The longest leading part that exists, resolved by the system.
    std::string head = absolute;
    std::vector<std::string> rest;
    for (;;) {
        if (char* real = ::realpath(head.c_str(), nullptr)) {
            head = real;
            std::free(real);
            break;
        }
        const std::size_t slash = head.find_last_of('/');
        if (slash == std::string::npos || head == "/")
            return absolute;
        rest.push_back(head.substr(slash + 1));
        head = slash == 0 ? "/" : head.substr(0, slash);
    }
    for (auto it = rest.rbegin(); it != rest.rend(); ++it) {
        if (it->empty() || *it == ".")
            continue;
        if (*it == "..") {
            const std::size_t slash = head.find_last_of('/');
            head = slash == 0 || slash == std::string::npos ? "/" : head.substr(0, slash);
            continue;
        }
        head += head == "/" ? *it : "/" + *it;
    }
    return head;
}

int IdentityOf(const std::string& path, FileIdentity& id) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.folder = S_ISDIR(st.st_mode);
    return 0;
}
