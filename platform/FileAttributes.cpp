#include "platform/FileAttributes.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

bool IgnorableAttributeError(int err) {
    return err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == EACCES;
}

// Gives fd the attribute name as get (a getxattr on the source) reads it; 0 also
// where the source has none or the process may not read it. Sets refused where
// fd cannot be given it.
template <typename Get>
int CopyOne(int fd, const std::string& name, std::string& value, bool& refused, Get get) {
    ssize_t got = -1;
    for (;;) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0)
            break;
        value.assign(static_cast<std::size_t>(size), '\0');
        got = get(value.data(), value.size());
        if (got >= 0 || errno != ERANGE)
            break;
    }
    if (got < 0)
        return errno == ENODATA || IgnorableAttributeError(errno) ? 0 : errno;
    if (::fsetxattr(fd, name.c_str(), value.data(), static_cast<std::size_t>(got), 0) != 0) {
        if (!IgnorableAttributeError(errno))
            return errno;
        refused = true;
    }
    return 0;
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
// Sets keepInPlace where fd cannot be given them.
int CopyAttributes(const std::string& source, int fd, bool& keepInPlace) {
    std::vector<std::string> wanted;
    if (const int err = ListNames(&source, -1, wanted))
        if (!IgnorableAttributeError(err))
            return err;
    std::string value;
    for (const std::string& name : wanted) {
        bool refused = false;
        if (const int err = CopyOne(fd, name, value, refused, [&](char* to, std::size_t size) {
                return ::lgetxattr(source.c_str(), name.c_str(), to, size);
            }))
            return err;
        if (refused) {
            keepInPlace = true;
            return 0;
        }
    }
    std::vector<std::string> present;
    if (const int err = ListNames(nullptr, fd, present))
        return IgnorableAttributeError(err) ? 0 : err;
    for (const std::string& name : present) {
        if (std::find(wanted.begin(), wanted.end(), name) != wanted.end())
            continue;
        if (::fremovexattr(fd, name.c_str()) != 0 && errno != ENODATA) {
            keepInPlace = true; // a new file that others could read: keep the old one
            return 0;
        }
    }
    return 0;
}

constexpr const char* CapabilityAttribute = "security.capability";

// Whether the process holds the capability in its effective set (a system that
// will not say, a seccomp filter on capget for one, counts as no).
bool HasCapability(int capability) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const auto word = static_cast<std::size_t>(capability / 32);
    return word < _LINUX_CAPABILITY_U32S_3 &&
           (data[word].effective & (1u << (capability % 32))) != 0;
}

bool InGroup(gid_t gid) {
    if (::getegid() == gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

} // namespace

PrivilegeLoss PrivilegesAfterWrite(int fd, const struct stat& st, HeldPrivileges& held) {
    held = HeldPrivileges();
    const mode_t mode = st.st_mode & 07777;
    if ((mode & (S_ISUID | S_ISGID)) != 0 && !HasCapability(CAP_FSETID)) {
        const bool inGroup = InGroup(st.st_gid);
        const bool dropsUserId = (mode & S_ISUID) != 0;
        const bool dropsGroupId = (mode & S_ISGID) != 0 && ((mode & S_IXGRP) != 0 || !inGroup);
        if (dropsUserId || dropsGroupId) {
            // A change of mode gives them back: the owner's (or CAP_FOWNER's), and
            // the set-group-ID bit only for a member of the file's group.
            if (::geteuid() != st.st_uid && !HasCapability(CAP_FOWNER))
                return dropsUserId ? PrivilegeLoss::SetUserId : PrivilegeLoss::SetGroupId;
            if ((mode & S_ISGID) != 0 && !inGroup)
                return PrivilegeLoss::SetGroupId;
            held.mode = mode;
        }
    }
    std::string value;
    for (;;) {
        const ssize_t size = ::fgetxattr(fd, CapabilityAttribute, nullptr, 0);
        if (size <= 0)
            return PrivilegeLoss::None; // none (or none this system knows of)
        value.assign(static_cast<std::size_t>(size), '\0');
        const ssize_t got = ::fgetxattr(fd, CapabilityAttribute, value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE)
            return PrivilegeLoss::None;
    }
    if (!HasCapability(CAP_SETFCAP))
        return PrivilegeLoss::Capabilities;
    held.capability = std::move(value);
    return PrivilegeLoss::None;
}

int RestorePrivileges(int fd, const HeldPrivileges& held) {
    if (!held.capability.empty() && ::fsetxattr(fd, CapabilityAttribute, held.capability.data(),
                                                held.capability.size(), 0) != 0)
        return errno;
    if (held.mode != 0 && ::fchmod(fd, held.mode) != 0)
        return errno;
    return 0;
}

int CopyFileAttributes(const std::string& source, const struct stat& st, int fd,
                       bool& keepInPlace) {
    keepInPlace = false;
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
        keepInPlace = errno == EPERM;
        return keepInPlace ? 0 : errno;
    }
    if (const int err = CopyAttributes(source, fd, keepInPlace); err != 0 || keepInPlace)
        return err;
    // Last: changing the owner drops set-user-ID and set-group-ID bits, and the
    // mode sets an ACL's mask from the old file's group bits.
    if (::fchmod(fd, st.st_mode & 07777) != 0)
        return errno;
    // A set-group-ID bit the system cleared without a word (the process is not in
    // the file's group): the old file, written in place, keeps it where it can.
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        return errno;
    keepInPlace = (now.st_mode & 07777) != (st.st_mode & 07777);
    return 0;
}

int AttributeNames(int fd, std::vector<std::string>& names) {
    return ListNames(nullptr, fd, names);
}

int GiveFileAttributes(int sourceFd, const std::vector<std::string>& names, const struct stat& st,
                       int fd, struct stat& made, bool& keepInPlace, bool& inherited) {
    keepInPlace = false;
    inherited = false;
    const bool chown = made.st_uid != st.st_uid || made.st_gid != st.st_gid;
    if (chown && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
        keepInPlace = errno == EPERM;
        return keepInPlace ? 0 : errno;
    }
    // What the new file has of its own (a folder's default ACL) goes, unless the
    // old file has it too; then the old file's attributes are given.
    std::vector<std::string> present;
    if (const int err = ListNames(nullptr, fd, present); err != 0 && !IgnorableAttributeError(err))
        return err;
    inherited = !present.empty();
    for (const std::string& name : present) {
        if (std::find(names.begin(), names.end(), name) != names.end())
            continue;
        if (::fremovexattr(fd, name.c_str()) != 0 && errno != ENODATA) {
            keepInPlace = true; // a new file that others could read: keep the old one
            return 0;
        }
    }
    std::string value;
    for (const std::string& name : names) {
        bool refused = false;
        if (const int err = CopyOne(fd, name, value, refused, [&](char* to, std::size_t size) {
                return ::fgetxattr(sourceFd, name.c_str(), to, size);
            }))
            return err;
        if (refused) {
            keepInPlace = true;
            return 0;
        }
    }
    // Last: changing the owner drops set-user-ID and set-group-ID bits, and the
    // mode sets an ACL's mask from the old file's group bits.
    if (chown || !names.empty() || inherited || (made.st_mode & 07777) != (st.st_mode & 07777)) {
        if (::fchmod(fd, st.st_mode & 07777) != 0)
            return errno;
    }
    if (::fstat(fd, &made) != 0)
        return errno;
    // A set-group-ID bit the system cleared without a word (the process is not in
    // the file's group): the old file, written in place, keeps it where it can.
    keepInPlace = (made.st_mode & 07777) != (st.st_mode & 07777);
    return 0;
}

mode_t ModeSeenThroughFolders(const std::string& path, mode_t mode) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : path.substr(0, slash);
    char* real = ::realpath(folder.c_str(), nullptr);
    if (real == nullptr)
        return mode & ~mode_t{077};
    std::string at = real;
    std::free(real);
    for (;;) {
        struct stat st {};
        if (::stat(at.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0)
            return mode & ~mode_t{077};
        if (at == "/")
            return mode;
        const std::size_t up = at.find_last_of('/');
        at = up == 0 ? std::string("/") : at.substr(0, up);
    }
}
