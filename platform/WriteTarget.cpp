#include "platform/WriteTarget.h"

#include "platform/KeptFolders.h"
#include "platform/Paths.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int MaxSymlinkHops = 40;

int OpenFolderFollowing(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Whether openat2 and its resolve flags can be used, decided once per process
// by a call that cannot fail where they work. Kernels before 5.6 answer ENOSYS;
// seccomp filters that refuse calls they do not know (systemd's
// SystemCallFilter=, the default profiles of container runtimes older than the
// call) answer EPERM, EINVAL or ENOSYS. Any failure means the chain below.
bool Openat2Works() {
    static const bool works = [] {
        open_how how{};
        how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        const long fd = ::syscall(SYS_openat2, AT_FDCWD, "/", &how, sizeof how);
        if (fd < 0)
            return false;
        ::close(static_cast<int>(fd));
        return true;
    }();
    return works;
}

} // namespace

// Opens rel below the folder root without following any link and without
// leaving it. Returns 0 with out set, or errno.
int OpenBelow(int root, const std::string& rel, UniqueFd& out) {
    if (rel.empty()) {
        out.Reset(::fcntl(root, F_DUPFD_CLOEXEC, 0));
        return out.Valid() ? 0 : errno;
    }
    if (Openat2Works()) {
        open_how how{};
        how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        const long fd = ::syscall(SYS_openat2, root, rel.c_str(), &how, sizeof how);
        if (fd < 0)
            return errno;
        out.Reset(static_cast<int>(fd));
        return 0;
    }
    // Without openat2: one folder at a time, never through a link.
    UniqueFd current(::fcntl(root, F_DUPFD_CLOEXEC, 0));
    if (!current.Valid())
        return errno;
    std::size_t at = 0;
    while (at < rel.size()) {
        std::size_t end = rel.find('/', at);
        if (end == std::string::npos)
            end = rel.size();
        const std::string part = rel.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
            return EXDEV;
        const int next =
            ::openat(current.Get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        if (next < 0)
            return errno == ENOTDIR ? ELOOP : errno;
        current.Reset(next);
    }
    out = std::move(current);
    return 0;
}

namespace {

int OpenTargetFolder(WriteTarget& t) {
    if (t.beneath) {
        FolderFacts kept;
        int err = 0;
        if (KeptFolderBeneath(t.root, t.relFolder, kept, err)) {
            if (err != 0)
                return err;
            t.folder = std::move(kept.fd);
            t.folderDevice = kept.device;
            t.folderInode = kept.inode;
            t.folderKnown = true;
            t.folderOwner = kept.owner;
            t.folderGroup = kept.group;
            t.folderMode = kept.mode;
            t.folderAppendOnly = kept.appendOnly;
            t.plainNewFiles = kept.plainNewFiles;
            return 0;
        }
        UniqueFd fd;
        err = OpenFolderBeneath(t.root, t.relFolder, fd);
        t.folder.Reset(fd.Release());
        return err;
    }
    t.folder.Reset(OpenFolderFollowing(t.folderPath));
    return t.folder.Valid() ? 0 : errno;
}

// Where a target lies: folder path, name and, beneath, the folder below the
// walked one. Returns 0 or errno.
int NameTarget(const std::string& path, const std::string& beneath, WriteTarget& t) {
    if (!beneath.empty()) {
        const std::string root = TrimTrailingSlashes(beneath);
        const std::string prefix = root == "/" ? root : root + "/";
        if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
            return EXDEV; // not below the walked folder at all
        const std::string rel = path.substr(prefix.size());
        t.beneath = true;
        t.root = root;
        t.relFolder = rel.find('/') == std::string::npos ? std::string() : FolderOf(rel);
        t.folderPath = FolderOf(path);
        t.name = NameOf(rel);
    } else {
        t.folderPath = FolderOf(path);
        t.name = NameOf(path);
    }
    if (t.name.empty() || t.name == "." || t.name == "..")
        return EISDIR;
    return 0;
}

// Follows the link chain that starts at the target's name to the file it
// finally names (which need not exist: writing through a dangling link creates
// it); owners receives every link's owner. Returns 0 or errno.
int FollowLinks(const WriteTarget& start, std::string& path, std::vector<uid_t>& owners) {
    std::string current = JoinPath(start.folderPath, start.name);
    int dir = start.folder.Get(); // the first step is taken in the open folder
    for (int hop = 0;; ++hop) {
        const char* at = dir >= 0 ? start.name.c_str() : current.c_str();
        const int base = dir >= 0 ? dir : AT_FDCWD;
        struct stat st {};
        if (::fstatat(base, at, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                return errno;
            path = current;
            return 0;
        }
        if (!S_ISLNK(st.st_mode)) {
            path = current;
            return 0;
        }
        if (hop == MaxSymlinkHops)
            return ELOOP;
        owners.push_back(st.st_uid);
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlinkat(base, at, link.data(), link.size());
        if (n < 0)
            return errno;
        if (static_cast<std::size_t>(n) >= link.size())
            return ENAMETOOLONG;
        link.resize(static_cast<std::size_t>(n));
        current = !link.empty() && link.front() == '/' ? link : JoinPath(FolderOf(current), link);
        dir = -1;
    }
}

} // namespace

int OpenWalkedFolder(const std::string& root, UniqueFd& folder) {
    folder.Reset(OpenFolderFollowing(root));
    return folder.Valid() ? 0 : errno;
}

int OpenFolderBeneath(const std::string& root, const std::string& rel, UniqueFd& folder) {
    UniqueFd top;
    if (const int err = OpenWalkedFolder(root, top))
        return err;
    return OpenBelow(top.Get(), rel, folder);
}

namespace {

// The folder's device and inode, where its opening did not give them.
int KnowFolder(WriteTarget& t) {
    if (t.folderKnown)
        return 0;
    struct stat fst {};
    if (::fstat(t.folder.Get(), &fst) != 0)
        return errno;
    t.folderDevice = fst.st_dev;
    t.folderInode = fst.st_ino;
    return 0;
}

} // namespace

int FindWriteTarget(const std::string& path, const std::string& beneath, WriteTarget& target) {
    WriteTarget t;
    if (const int err = NameTarget(path, beneath, t))
        return err;
    if (const int err = OpenTargetFolder(t))
        return err;

    // A link in the file's place: the file it reaches is the target.
    struct stat st {};
    if (::fstatat(t.folder.Get(), t.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(st.st_mode)) {
        std::string final;
        std::vector<uid_t> owners;
        if (const int err = FollowLinks(t, final, owners))
            return err;
        WriteTarget reached;
        reached.folderPath = FolderOf(final);
        reached.name = NameOf(final);
        if (const int err = OpenTargetFolder(reached))
            return err;
        if (t.beneath) {
            // The file reached must exist and share its owner with every link.
            struct stat fst {};
            if (::fstatat(reached.folder.Get(), reached.name.c_str(), &fst, AT_SYMLINK_NOFOLLOW) !=
                0)
                return errno == ENOENT ? EACCES : errno;
            for (const uid_t owner : owners) {
                if (owner != fst.st_uid)
                    return EACCES;
            }
            reached.throughLink = true;
            reached.linkOwner = fst.st_uid;
        }
        t = std::move(reached);
    }
    if (const int err = KnowFolder(t))
        return err;
    target = std::move(t);
    return 0;
}

int OpenToRead(const std::string& path, const std::string& beneath, UniqueFd& file,
               WriteTarget* target, struct stat* status, FileFlags* flags) {
    WriteTarget t;
    struct stat st {};
    FileFlags ff;
    if (const int err = NameTarget(path, beneath, t))
        return err;
    if (const int err = OpenTargetFolder(t))
        return err;
    // No link in the file's place (the common case): opened at once, never
    // through a link, and looked at through its descriptor. O_NONBLOCK: a FIFO
    // never blocks; O_NOCTTY: no terminal is taken.
    constexpr int ReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
    UniqueFd direct(::openat(t.folder.Get(), t.name.c_str(), ReadFlags));
    if (direct.Valid()) {
        if (const int err = StatusWithFlags(direct.Get(), "", AT_EMPTY_PATH, st, ff))
            return err;
        if (!S_ISREG(st.st_mode))
            return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        if (const int err = KnowFolder(t))
            return err;
        file = std::move(direct);
        if (target != nullptr)
            *target = std::move(t);
        if (status != nullptr)
            *status = st;
        if (flags != nullptr)
            *flags = ff;
        return 0;
    }
    // A link in the file's place (ELOOP): the link rules. Any other failure is
    // told as a look before opening tells it (a socket: "Invalid argument").
    t = WriteTarget();
    if (const int err = FindWriteTarget(path, beneath, t))
        return err;
    // Look before opening: opening a device can have effects of its own.
    if (::fstatat(t.folder.Get(), t.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (S_ISLNK(st.st_mode))
        return ELOOP; // made a link since the link rules were applied
    if (!S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    UniqueFd fd(::openat(t.folder.Get(), t.name.c_str(),
                         O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (!fd.Valid())
        return errno;
    // The name may have been given to another file between the look and the open.
    if (const int err = StatusWithFlags(fd.Get(), "", AT_EMPTY_PATH, st, ff))
        return err;
    if (!S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    if (t.throughLink && st.st_uid != t.linkOwner)
        return EACCES;
    file = std::move(fd);
    if (target != nullptr)
        *target = std::move(t);
    if (status != nullptr)
        *status = st;
    if (flags != nullptr)
        *flags = ff;
    return 0;
}

int ReopenFolder(WriteTarget& target) {
    if (target.folder.Valid())
        return 0;
    const dev_t device = target.folderDevice;
    const ino_t inode = target.folderInode;
    target.folderKnown = false;
    if (const int err = OpenTargetFolder(target))
        return err;
    dev_t nowDevice = target.folderDevice; // a kept folder: known as it was opened
    ino_t nowInode = target.folderInode;
    if (!target.folderKnown) {
        struct stat st {};
        if (::fstat(target.folder.Get(), &st) != 0)
            return errno;
        nowDevice = st.st_dev;
        nowInode = st.st_ino;
    }
    target.folderDevice = device;
    target.folderInode = inode;
    if (nowDevice != device || nowInode != inode) {
        target.folder.Reset();
        return ESTALE;
    }
    return 0;
}
