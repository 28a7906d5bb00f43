#include "platform/PrepareWrite.h"

#include "platform/DescriptorIO.h"
#include "platform/FileIO.h"
#include "platform/KeptFolders.h"
#include "platform/Paths.h"
#include "platform/WriteState.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::size_t EarlyWritebackBytes = std::size_t{8} << 20;

// An overlay file system copies a file of a lower layer up when it is opened for
// writing, and the copy has only the name it was opened by: its other hard links
// keep the old file.
bool OnOverlay(int folder) {
    struct statfs fs {};
    return ::fstatfs(folder, &fs) == 0 && fs.f_type == OVERLAYFS_SUPER_MAGIC;
}

// A folder where names can be added but never removed or replaced (chattr +a):
// a temporary could be neither renamed over the target nor deleted there.
bool AppendOnlyFolder(int folder) {
    int flags = 0;
    return ::ioctl(folder, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL) != 0;
}

// The same, from what is known of the target's folder where that says.
bool AppendOnlyFolder(const WriteTarget& t) {
    return t.folderAppendOnly >= 0 ? t.folderAppendOnly == 1 : AppendOnlyFolder(t.folder.Get());
}

// The process's own account and group, asked once: the program never changes them.
uid_t OwnUser() {
    static const uid_t user = ::geteuid();
    return user;
}

gid_t OwnGroup() {
    static const gid_t group = ::getegid();
    return group;
}

// The file as read, where the caller gives it and it is the file to write.
const InputFile* UsableSource(const std::string& path, const WriteOptions& options) {
    const InputFile* source = options.source;
    if (source == nullptr || source->Target() == nullptr || source->Path() != path ||
        options.beneath.empty() || !options.readAs.known ||
        !(FileStamp::Of(source->Status()) == options.readAs))
        return nullptr;
    const WriteTarget& t = *source->Target();
    return t.beneath && t.root == TrimTrailingSlashes(options.beneath) ? source : nullptr;
}

// Whether a new file made in the target's folder by this process gets exactly
// the owner, group and permissions the file st has, and nothing else: so the
// temporary can be made with the file's mode at once, readable by no one who
// could not read the file. Only the folder's owner can give new files there an
// ACL (a default ACL): the folder must be this account's or the superuser's,
// and the file must have no extended attribute and no special bit. Whether a
// new file there gets any attribute is asked once per folder (plainNewFiles).
bool NewFileMatches(const WriteTarget& t, const struct stat& st,
                    const std::vector<std::string>& names) {
    if (!names.empty() || !t.folderKnown || t.plainNewFiles == 0 || (st.st_mode & 07000) != 0)
        return false;
    if (t.folderOwner != OwnUser() && t.folderOwner != 0)
        return false;
    const gid_t group = (t.folderMode & S_ISGID) != 0 ? t.folderGroup : OwnGroup();
    return st.st_uid == OwnUser() && st.st_gid == group;
}

// Whether the folder gives a new file an ACL (it has a default ACL); true where
// that cannot be told.
bool GivesDefaultAcl(int folder) {
    if (::fgetxattr(folder, "system.posix_acl_default", nullptr, 0) >= 0)
        return true;
    return errno != ENODATA && errno != ENOTSUP && errno != EOPNOTSUPP;
}

// The file name in folder as a path that reaches it through the open folder,
// where the system offers one; else its plain path.
std::string PathThrough(const WriteTarget& t) {
    static const bool procFd = ::access("/proc/self/fd", X_OK) == 0;
    if (procFd && t.folder.Valid())
        return "/proc/self/fd/" + std::to_string(t.folder.Get()) + "/" + t.name;
    return t.folderPath + "/" + t.name;
}

// Makes sure the disk has room for size bytes of the file without changing it.
// Returns 0, or errno; sets growLater when only growing the file at the commit
// can tell (a file system without fallocate).
int ReserveSize(int fd, const struct stat& st, std::size_t size, bool& growLater) {
    growLater = false;
    if (size == 0 || ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0)
        return 0;
    if (errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    // Overwriting blocks the file already has needs no new ones; a file with holes
    // would need blocks that cannot be reserved here.
    if (static_cast<off_t>(st.st_blocks) * 512 < st.st_size)
        return EOPNOTSUPP;
    growLater = static_cast<off_t>(size) > st.st_size;
    return 0;
}

// The temporary that already holds the content where it could not take the
// file's place; removed however the prepare ends.
struct ContentTemporary {
    WriteState& state;
    TemporaryFile temp;
    std::size_t size = 0;

    explicit ContentTemporary(WriteState& s) : state(s) {}
    ContentTemporary(const ContentTemporary&) = delete;
    ContentTemporary& operator=(const ContentTemporary&) = delete;
    ~ContentTemporary() { Remove(); }
    void Remove() noexcept {
        temp.fd.Reset();
        if (!temp.name.empty() && state.Folder() == 0)
            ::unlinkat(state.target.folder.Get(), temp.name.c_str(), 0);
        temp.name.clear();
    }
};

void TakeFolder(WriteState& s) {
    if (const int err =
            s.folderUse.Take(s.target.folder, s.target.folderDevice, s.target.folderInode))
        throw WriteError(s.path, err);
}

// Prepares a write in place into the file found as st; made, when it has a name,
// already holds the new content.
void PrepareInPlace(WriteState& s, const struct stat& st, ContentTemporary& made,
                    const ContentProducer& produce) {
    const std::string& path = s.path;
    const int folder = s.target.folder.Get();
    const char* name = s.target.name.c_str();
    WriteInPlace& w = s.how.emplace<WriteInPlace>();
    constexpr int Flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
    w.fd.Reset(::openat(folder, name, O_RDWR | Flags));
    if (!w.fd.Valid() && errno == EACCES)
        w.fd.Reset(::openat(folder, name, O_WRONLY | Flags)); // its old bytes cannot be kept
    if (!w.fd.Valid())
        throw WriteError(path, errno);
    const int fd = w.fd.Get();
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        throw WriteError(path, errno);
    if (!S_ISREG(now.st_mode))
        throw WriteError(path, NotRegularFileError(now.st_mode));
    if (now.st_dev != st.st_dev || now.st_ino != st.st_ino || !StillAsRead(now, s.readAs))
        throw WriteError(path, ChangedFault);
    w.device = now.st_dev;
    w.inode = now.st_ino;
    w.oldSize = now.st_size;
    const auto oldSize = static_cast<std::size_t>(now.st_size);

    // What the write would take away for good: the file is not written.
    switch (PrivilegesAfterWrite(fd, now, w.keep)) {
    case PrivilegeLoss::SetUserId:
        throw WriteError(path, 0, WriteFailure::LosesSetUserId);
    case PrivilegeLoss::SetGroupId:
        throw WriteError(path, 0, WriteFailure::LosesSetGroupId);
    case PrivilegeLoss::Capabilities:
        throw WriteError(path, 0, WriteFailure::LosesCapabilities);
    case PrivilegeLoss::None:
        break;
    }

    // The new bytes wait, and the old bytes are kept, in a temporary beside the
    // file that only this account can read, so that a file of any size costs a
    // piece's worth of memory. An append-only folder would keep such a temporary
    // for good, and a folder may take no new file at all: there both are held in
    // memory, up to InPlaceMemoryBytes each.
    if (!AppendOnlyFolder(s.target)) {
        if (!s.folderUse.Held())
            TakeFolder(s);
        if (const int err = CreateTemporary(folder, s.target.name, 0600, w.hold)) {
            if (err != EACCES && err != EPERM)
                throw WriteError(path, err);
        } else {
            struct stat hst {};
            if (::fstat(w.hold.fd.Get(), &hst) != 0)
                throw WriteError(path, errno);
            w.hold.device = hst.st_dev; // known again by these, to be removed
            w.hold.inode = hst.st_ino;
        }
    }
    const bool readable = (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR;
    if (w.hold.fd.Valid()) {
        const int hold = w.hold.fd.Get();
        std::size_t size = 0;
        if (made.temp.fd.Valid()) {
            if (const int err = CopyBytes(made.temp.fd.Get(), 0, hold, 0, made.size, &size))
                throw WriteError(path, err);
            if (size != made.size)
                throw WriteError(path, EIO);
        } else {
            produce([&](std::string_view piece) {
                if (const int err = WriteAllAt(hold, piece, static_cast<std::int64_t>(size)))
                    throw WriteError(path, err);
                size += piece.size();
            });
        }
        w.newSize = size;
        // The old bytes, so that a write that fails half-way can put them back.
        if (readable) {
            std::size_t copied = 0;
            if (const int err =
                    CopyBytes(fd, 0, hold, static_cast<std::int64_t>(size), oldSize, &copied))
                throw WriteError(path, err);
            if (copied != oldSize)
                throw WriteError(path, ChangedFault);
            w.oldKnown = true;
        }
        struct stat hst {};
        if (::fstat(hold, &hst) != 0)
            throw WriteError(path, errno);
        w.hold.ctime = hst.st_ctim;
    } else {
        const auto tooLarge = [&](std::size_t size) {
            if (size > InPlaceMemoryBytes)
                throw WriteError(path, 0, WriteFailure::TooLargeInMemory);
        };
        if (readable)
            tooLarge(oldSize);
        if (made.temp.fd.Valid()) {
            tooLarge(made.size);
            if (const int err = ReadStart(made.temp.fd.Get(), w.data, made.size);
                err != 0 || w.data.size() != made.size)
                throw WriteError(path, err != 0 ? err : EIO);
        } else {
            produce([&](std::string_view piece) {
                tooLarge(w.data.size() + piece.size());
                w.data.append(piece);
            });
        }
        w.newSize = w.data.size();
        // The old bytes, so that a write that fails half-way can put them back.
        w.oldKnown = readable && ReadStart(fd, w.old, oldSize) == 0 && w.old.size() == oldSize;
    }
    // Make sure of the new size first, so that a full disk fails before any byte
    // changes. The size itself stays until the commit.
    if (const int err = ReserveSize(fd, now, w.newSize, w.growAtCommit))
        throw WriteError(path, err);
    // The reservation itself sets the file's modification time: from here on the
    // file as read is the file as it is now.
    if (s.readAs.known) {
        struct stat reserved {};
        if (::fstat(fd, &reserved) != 0)
            throw WriteError(path, errno);
        s.readAs = FileStamp::Of(reserved);
    }
}

} // namespace

PendingWrite PrepareWrite(const std::string& path, std::string_view data,
                          const WriteOptions& options) {
    return PrepareWriteFrom(
        path, [data](const ContentSink& sink) { sink(data); }, options);
}

PendingWrite PrepareWriteFrom(const std::string& path, const ContentProducer& produce,
                              const WriteOptions& options) {
    auto state = std::make_unique<WriteState>();
    WriteState& s = *state;
    s.path = path;
    s.readAs = options.readAs;
    struct stat st {};
    bool exists = true;
    // The file as it was opened to be read: its folder and status, no look again
    // (the commit checks that it is still the file in place).
    const InputFile* source = UsableSource(path, options);
    if (source != nullptr) {
        s.target = *source->Target();
        st = source->Status();
    } else if (const int err = FindWriteTarget(path, options.beneath, s.target)) {
        throw WriteError(path, err);
    }
    const int folder = s.target.folder.Get();
    const char* name = s.target.name.c_str();

    if (source == nullptr && ::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            throw WriteError(path, errno);
        exists = false;
    }
    if (s.readAs.known && (!exists || !StillAsRead(st, s.readAs)))
        throw WriteError(path, ChangedFault);
    bool inPlace = false;
    if (exists) {
        if (!S_ISREG(st.st_mode))
            throw WriteError(path, NotRegularFileError(st.st_mode));
        // A file without any write permission is read-only, also for the superuser.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            throw WriteError(path, EACCES);
        // Nobody may replace a file they may not write (an immutable file included).
        // The owner's access is its owner bits (an ACL does not narrow it), so for
        // a file of this account whose owner may write it, known not to be
        // immutable, the answer is known.
        const bool ownWritable = source != nullptr && st.st_uid == OwnUser() &&
                                 (st.st_mode & S_IWUSR) != 0 && source->Flags().immutable == 0;
        if (!ownWritable && ::faccessat(folder, name, W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
            throw WriteError(path, errno);
        inPlace = st.st_nlink > 1;
        if (inPlace && OnOverlay(folder))
            throw WriteError(path, 0, WriteFailure::LinksOnOverlay);
    }
    if (!inPlace && AppendOnlyFolder(s.target)) {
        if (!exists)
            throw WriteError(path, EPERM);
        inPlace = true;
    }

    ContentTemporary made(s); // the content, where it cannot take the file's place
    if (!inPlace) {
        // The file's extended attributes, through the descriptor it was read by.
        std::vector<std::string> names;
        if (source != nullptr) {
            if (const int err = AttributeNames(source->Descriptor(), names);
                err != 0 && err != ENOTSUP && err != EOPNOTSUPP)
                throw WriteError(path, err);
        }
        bool matches = source != nullptr && NewFileMatches(s.target, st, names);
        // The first temporary in a folder: made with the file's mode where the
        // folder has no default ACL, and then asked what it got.
        const bool firstHere = matches && s.target.plainNewFiles != 1;
        if (firstHere && GivesDefaultAcl(folder))
            matches = false;
        ReplaceByTemporary& r = s.Replacement();
        r.replaces = exists;
        TakeFolder(s);
        const mode_t mode = !exists ? 0666 : matches ? (st.st_mode & 0777) : 0600;
        const int created = CreateTemporary(folder, s.target.name, mode, r.temp);
        if (created != 0) {
            s.folderUse.LetGo();
            // A folder that takes no new file while the file itself is writable:
            // write in place.
            if (!exists || (created != EACCES && created != EPERM))
                throw WriteError(path, created);
        } else {
            const int fd = r.temp.fd.Get();
            // Whatever the producer throws (a read failing half-way) passes on, and
            // the state's destructor removes the temporary.
            std::size_t size = 0;
            std::size_t started = 0; // bytes already on their way to the disk
            produce([&](std::string_view piece) {
                if (const int err = WriteAll(fd, piece))
                    throw WriteError(path, err);
                size += piece.size();
                // A large content is sent to the disk while the rest is still being
                // made, so that the flush before the rename has little left to wait for.
                if (size - started >= EarlyWritebackBytes) {
                    ::sync_file_range(fd, static_cast<off_t>(started),
                                      static_cast<off_t>(size - started), SYNC_FILE_RANGE_WRITE);
                    started = size;
                }
            });
            bool keepInPlace = false;
            int err = 0;
            struct stat tst {};
            if (source != nullptr) {
                // Made by this process: what it has of the file is seen in one look.
                if (::fstat(fd, &tst) != 0)
                    throw WriteError(path, errno);
                std::vector<std::string> own;
                if (matches && firstHere) {
                    const int listed = AttributeNames(fd, own);
                    if (listed != 0 && listed != ENOTSUP && listed != EOPNOTSUPP)
                        throw WriteError(path, listed);
                    NotePlainNewFiles(s.target.folderDevice, s.target.folderInode, own.empty());
                }
                if (matches && own.empty() && tst.st_uid == st.st_uid && tst.st_gid == st.st_gid) {
                    // Only the bits the process's umask took need giving back.
                    if ((tst.st_mode & 07777) != (st.st_mode & 07777)) {
                        if (::fchmod(fd, st.st_mode & 07777) != 0 || ::fstat(fd, &tst) != 0)
                            throw WriteError(path, errno);
                        keepInPlace = (tst.st_mode & 07777) != (st.st_mode & 07777);
                    }
                } else {
                    bool inherited = false;
                    err = GiveFileAttributes(source->Descriptor(), names, st, fd, tst, keepInPlace,
                                             inherited);
                    if (err == 0 && !keepInPlace && s.target.folderKnown)
                        NotePlainNewFiles(s.target.folderDevice, s.target.folderInode, !inherited);
                }
            } else {
                err = exists ? CopyFileAttributes(PathThrough(s.target), st, fd, keepInPlace) : 0;
                if (err == 0 && !keepInPlace && ::fstat(fd, &tst) != 0)
                    err = errno;
            }
            if (err != 0)
                throw WriteError(path, err);
            if (!keepInPlace) {
                // The commit checks the change time, so this is the file it puts
                // in place, unchanged since.
                r.temp.Remember(tst);
                s.writtenAs = FileStamp::Of(tst);
                return PendingWrite(std::move(state));
            }
            // A file whose owner or attributes a new file could not get: written
            // in place, which takes the content from the temporary (the folder
            // stays held while it is there).
            made.temp = std::move(r.temp);
            made.size = size;
        }
    }
    PrepareInPlace(s, st, made, produce);
    made.Remove();
    return PendingWrite(std::move(state));
}
