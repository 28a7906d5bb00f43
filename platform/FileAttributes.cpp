#include "platform/FileAttributes.h"

#include <algorithm>
#include <cerrno>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

bool IgnorableAttributeError(int err) {
    return err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == EACCES;
}

std::vector<std::string> SplitNames(const std::string& names) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at < names.size();) {
        std::size_t end = names.find('\0', at);
        if (end == std::string::npos)
            end = names.size();
        if (end > at)
            out.push_back(names.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

// The attribute names of a file (by path, never following a link, or by fd).
// Returns 0 or errno.
int ListNames(const std::string* path, int fd, std::vector<std::string>& out) {
    std::string names;
    for (;;) {
        const ssize_t size = path != nullptr ? ::llistxattr(path->c_str(), nullptr, 0)
                                             : ::flistxattr(fd, nullptr, 0);
        if (size < 0)
            return errno;
        names.assign(static_cast<std::size_t>(size), '\0');
        if (size == 0)
            break;
        const ssize_t got = path != nullptr
                                ? ::llistxattr(path->c_str(), names.data(), names.size())
                                : ::flistxattr(fd, names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE)
            return errno;
    }
    out = SplitNames(names);
    return 0;
}

// Copies every extended attribute of source onto fd and removes those fd has
// that source lacks. Attributes the process may not read are not its to keep.
int CopyAttributes(const std::string& source, int fd) {
    std::vector<std::string> wanted;
    if (const int err = ListNames(&source, -1, wanted))
        if (!IgnorableAttributeError(err))
            return err;
    std::string value;
    for (const std::string& name : wanted) {
        ssize_t got = -1;
        for (;;) {
            const ssize_t size = ::lgetxattr(source.c_str(), name.c_str(), nullptr, 0);
            if (size < 0)
                break;
            value.assign(static_cast<std::size_t>(size), '\0');
            got = ::lgetxattr(source.c_str(), name.c_str(), value.data(), value.size());
            if (got >= 0 || errno != ERANGE)
                break;
        }
        if (got < 0) {
            if (errno == ENODATA || IgnorableAttributeError(errno))
                continue;
            return errno;
        }
        if (::fsetxattr(fd, name.c_str(), value.data(), static_cast<std::size_t>(got), 0) != 0)
            return IgnorableAttributeError(errno) ? KeepInPlace : errno;
    }
    std::vector<std::string> present;
    if (const int err = ListNames(nullptr, fd, present))
        return IgnorableAttributeError(err) ? 0 : err;
    for (const std::string& name : present) {
        if (std::find(wanted.begin(), wanted.end(), name) != wanted.end())
            continue;
        if (::fremovexattr(fd, name.c_str()) != 0 && errno != ENODATA)
            return KeepInPlace; // a new file that others could read: keep the old one
    }
    return 0;
}

} // namespace

int CopyFileAttributes(const std::string& source, const struct stat& st, int fd) {
    if (::fchown(fd, st.st_uid, st.st_gid) != 0)
        return errno == EPERM ? KeepInPlace : errno;
    if (const int err = CopyAttributes(source, fd))
        return err;
    // Last: changing the owner drops set-user-ID and set-group-ID bits, and the
    // mode sets an ACL's mask from the old file's group bits.
    if (::fchmod(fd, st.st_mode & 07777) != 0)
        return errno;
    return 0;
}
