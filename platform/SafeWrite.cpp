#include "platform/SafeWrite.h"

#include "platform/FileAttributes.h"
#include "platform/SystemError.h"
#include "platform/TempNames.h"
#include "platform/TemporaryLocks.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <mutex>
#include <new>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::size_t EarlyWritebackBytes = std::size_t{8} << 20;

// How a step failed: an error number, or one of the program's own reasons.
struct Failure {
    int errnum = 0;
    WriteFailure kind = WriteFailure::System;
    explicit operator bool() const { return errnum != 0 || kind != WriteFailure::System; }
};

Failure Sys(int errnum) {
    return Failure{errnum, WriteFailure::System};
}
constexpr Failure Changed{0, WriteFailure::ChangedSinceRead};
constexpr Failure Replaced{0, WriteFailure::TemporaryReplaced};

int NotRegularFileError(mode_t mode) {
    return S_ISDIR(mode) ? EISDIR : S_ISLNK(mode) ? ELOOP : EINVAL;
}

bool StillAsRead(const struct stat& st, const FileStamp& readAs) {
    return !readAs.known || FileStamp::Of(st) == readAs;
}

// Writes all of data at the file's current offset (or at offset when given),
// retrying after short writes; a write that stores nothing means a full disk.
int WriteAll(int fd, std::string_view data, off_t offset = -1) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const std::size_t step = std::min<std::size_t>(left, std::size_t{1} << 30);
        const ssize_t n = offset < 0 ? ::write(fd, p, step) : ::pwrite(fd, p, step, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return ENOSPC;
        p += n;
        left -= static_cast<std::size_t>(n);
        if (offset >= 0)
            offset += n;
    }
    return 0;
}

int ReadAll(int fd, std::string& out, std::size_t size) {
    out.assign(size, '\0');
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, out.data() + got, size - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return 0;
}

// Copies count bytes of from, starting at fromAt, to to at toAt, a piece at a time.
// Returns 0 or errno; copied says how many bytes there were (fewer where from
// ends early).
int CopyBytes(int from, off_t fromAt, int to, off_t toAt, std::size_t count,
              std::size_t* copied = nullptr) {
    constexpr std::size_t Piece = std::size_t{1} << 20;
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[std::min(count, Piece) + 1]);
    if (!buffer)
        return ENOMEM;
    std::size_t done = 0;
    while (done < count) {
        const std::size_t want = std::min(count - done, Piece);
        const ssize_t n = ::pread(from, buffer.get(), want, fromAt + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        if (const int err =
                WriteAll(to, std::string_view(buffer.get(), static_cast<std::size_t>(n)),
                         toAt + static_cast<off_t>(done)))
            return err;
        done += static_cast<std::size_t>(n);
    }
    if (copied != nullptr)
        *copied = done;
    return 0;
}

// An overlay file system copies a file of a lower layer up when it is opened for
// writing, and the copy has only the name it was opened by: its other hard links
// keep the old file.
bool OnOverlay(int folder) {
    struct statfs fs {};
    return ::fstatfs(folder, &fs) == 0 && fs.f_type == OVERLAYFS_SUPER_MAGIC;
}

std::string RandomSuffix() {
    static std::atomic<unsigned long long> counter{0};
    static constexpr char Alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned long long x = static_cast<unsigned long long>(
                               std::chrono::steady_clock::now().time_since_epoch().count()) ^
                           (static_cast<unsigned long long>(::getpid()) << 32) ^
                           (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 32;
    std::string s(kWriteTemporaryRandomLength, 'X');
    for (char& c : s) {
        c = Alphabet[x % 62];
        x /= 62;
    }
    return s;
}

// Creates a temporary beside name in the folder. Returns the descriptor or -errno.
int CreateTemporary(int folder, const std::string& name, mode_t mode, std::string& tempName) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = WriteTemporaryName(name, RandomSuffix());
        const int fd =
            ::openat(folder, tempName.c_str(),
                     O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, mode);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            const int err = errno;
            tempName.clear();
            return -err;
        }
    }
    tempName.clear();
    return -EEXIST;
}

// A folder where names can be added but never removed or replaced (chattr +a):
// a temporary could be neither renamed over the target nor deleted there.
bool AppendOnlyFolder(int folder) {
    int flags = 0;
    return ::ioctl(folder, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL) != 0;
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

bool SameInode(const struct stat& st, dev_t device, ino_t inode) {
    return st.st_dev == device && st.st_ino == inode;
}

} // namespace

WriteError::WriteError(std::string path, int errnum, WriteFailure kind, std::size_t index)
    : std::runtime_error(WriteErrorMessage(path, errnum, kind)), path_(std::move(path)),
      errnum_(errnum), kind_(kind), index_(index) {}

std::string WriteErrorMessage(const std::string& path, int errnum, WriteFailure kind) {
    std::string why;
    switch (kind) {
    case WriteFailure::ChangedSinceRead:
        why = "The file was changed by another program since it was read";
        break;
    case WriteFailure::TemporaryReplaced:
        why = "Its temporary file was replaced by another program";
        break;
    case WriteFailure::LosesSetUserId:
        why = "It would lose its set-user-ID bit";
        break;
    case WriteFailure::LosesSetGroupId:
        why = "It would lose its set-group-ID bit";
        break;
    case WriteFailure::LosesCapabilities:
        why = "It would lose its capabilities";
        break;
    case WriteFailure::LinksOnOverlay:
        why = "It has several names on an overlay file system, and writing it would make "
              "them separate files";
        break;
    case WriteFailure::TooLargeInMemory:
        why = "Its folder takes no temporary file, and it is larger than the " +
              std::to_string(InPlaceMemoryBytes >> 20) + " MB that can be written in place there";
        break;
    case WriteFailure::System:
        why = SystemErrorText(errnum);
        break;
    }
    return "Cannot create file \"" + path + "\". " + why;
}

std::string CreateErrorMessage(const std::string& path, int errnum) {
    return WriteErrorMessage(path, errnum);
}

// The files a batch replaced, each under its replacement's temporary name in its
// own folder, deleted together when the batch ends.
class RetiredFiles {
public:
    RetiredFiles() = default;
    RetiredFiles(const RetiredFiles&) = delete;
    RetiredFiles& operator=(const RetiredFiles&) = delete;
    ~RetiredFiles() { DeleteAll(); }

    // Keeps the file replaced at where under the temporary's name; the folder's
    // lock (platform/TemporaryLocks.h) is held until the file is deleted.
    void Add(const WriteTarget& where, const std::string& name, const struct stat& st) {
        // Files come in list order, folder after folder: one record of a folder
        // serves all its files, so a batch of many files holds little per file.
        if (folders_.empty() || folders_.back().folderDevice != where.folderDevice ||
            folders_.back().folderInode != where.folderInode) {
            RetainTemporaryFolder(where.folderDevice, where.folderInode);
            WriteTarget folder;
            folder.folderPath = where.folderPath;
            folder.folderDevice = where.folderDevice;
            folder.folderInode = where.folderInode;
            folder.beneath = where.beneath;
            folder.root = where.root;
            folder.relFolder = where.relFolder;
            folders_.push_back(std::move(folder));
        }
        files_.push_back({folders_.size() - 1, name, st.st_dev, st.st_ino});
        bytes_ += static_cast<std::size_t>(st.st_blocks) * 512;
    }

    std::size_t Count() const { return files_.size(); }
    std::size_t Folders() const { return folders_.size(); }
    std::size_t Bytes() const { return bytes_; }

    // Deletes each one still there under its name (and nothing that took its name).
    void DeleteAll() noexcept {
        UniqueFd folder;
        dev_t folderDevice = 0;
        ino_t folderInode = 0;
        for (const Retired& r : files_) {
            WriteTarget& where = folders_[r.folder];
            if (!folder.Valid() || folderDevice != where.folderDevice ||
                folderInode != where.folderInode) {
                if (ReopenFolder(where) != 0) {
                    folder.Reset();
                    continue;
                }
                folder = std::move(where.folder);
                folderDevice = where.folderDevice;
                folderInode = where.folderInode;
            }
            struct stat st {};
            if (::fstatat(folder.Get(), r.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                st.st_dev == r.device && st.st_ino == r.inode)
                ::unlinkat(folder.Get(), r.name.c_str(), 0);
        }
        for (const WriteTarget& where : folders_)
            ReleaseTemporaryFolder(where.folderDevice, where.folderInode);
        files_.clear();
        folders_.clear();
        bytes_ = 0;
    }

private:
    struct Retired {
        std::size_t folder = 0; // in folders_
        std::string name;
        dev_t device = 0;
        ino_t inode = 0;
    };
    std::vector<WriteTarget> folders_;
    std::vector<Retired> files_;
    std::size_t bytes_ = 0; // the disk space the files take
};

// The free space on the file system a batch writes to, against what the batch
// holds there: the temporaries written since its last commit and the replaced
// files not yet deleted. Looked at (statvfs) only when the bytes written since
// the last look may have used up what was free, so a batch on a roomy disk
// looks once.
class RoomWatch {
public:
    // bytes were written on device; folder is a folder there.
    void Written(int folder, dev_t device, std::size_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        inFlight_ += bytes;
        if (device != device_ || !anchor_.Valid()) {
            anchor_.Reset(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
            device_ = device;
            Measure();
            return;
        }
        free_ -= std::min(free_, bytes);
    }
    void Committed() {
        std::lock_guard<std::mutex> lock(mutex_);
        inFlight_ = 0;
    }
    // True when what is free is no more than what the batch holds.
    bool Low(std::size_t retired) {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::size_t held = inFlight_ + retired;
        if (!anchor_.Valid() || held == 0 || free_ > held)
            return false;
        Measure(); // another program may have freed some meanwhile
        return free_ <= held;
    }
    void Freed() {
        std::lock_guard<std::mutex> lock(mutex_);
        Measure();
    }

private:
    void Measure() {
        struct statvfs vfs {};
        if (anchor_.Valid() && ::fstatvfs(anchor_.Get(), &vfs) == 0)
            free_ = static_cast<std::size_t>(vfs.f_bavail) * vfs.f_frsize;
        else
            free_ = static_cast<std::size_t>(-1); // nothing known: never low
    }

    std::mutex mutex_;
    UniqueFd anchor_; // a folder on the file system watched
    dev_t device_ = 0;
    std::size_t free_ = 0;
    std::size_t inFlight_ = 0;
};

// Lets the prepare and commit steps reach the private parts of a pending write.
class SafeWriteAccess {
public:
    static PendingWrite Prepare(const std::string& path, const ContentProducer& produce,
                                const WriteOptions& options);
    static Failure Commit(PendingWrite& w, RetiredFiles* retired);
    // The descriptor to flush a write through; -1 with errno, or TemporaryGone.
    static int Fd(PendingWrite& w);
    static constexpr int TemporaryGone = -2;
    // The same for the temporary that holds a write in place's bytes.
    static int HoldFd(PendingWrite& w);
    static dev_t Device(const PendingWrite& w) { return w.device_; }
    static const WriteTarget& Target(const PendingWrite& w) { return w.target_; }
    // The target's folder, opened again where it was let go.
    static int Folder(PendingWrite& w) {
        return ReopenFolder(w.target_) == 0 ? w.target_.folder.Get() : -1;
    }
    // Gives w the folder fd is open on when that is the folder w was prepared in
    // (the same device and inode: the very folder, wherever its path leads now).
    static void ShareFolder(PendingWrite& w, int fd, const struct stat& st) {
        if (!w.target_.folder.Valid() && fd >= 0 && st.st_dev == w.target_.folderDevice &&
            st.st_ino == w.target_.folderInode)
            w.target_.folder.Reset(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    }
    static void CloseFile(PendingWrite& w) { w.fd_.Reset(); }
    // The folder's lock, held while the write has a temporary there.
    static void Hold(PendingWrite& w) {
        if (const int err = HoldTemporaryFolder(w.target_.folder.Get(), w.target_.folderDevice,
                                                w.target_.folderInode))
            throw WriteError(w.path_, err);
        w.holdsFolder_ = true;
    }

private:
    static void PrepareInPlace(PendingWrite& w, const struct stat& st, int made,
                               std::size_t madeSize, const ContentProducer& produce);
    static Failure CommitInPlace(PendingWrite& w);
    static Failure CommitReplacement(PendingWrite& w, RetiredFiles* retired);
    static Failure TemporaryStillOurs(PendingWrite& w, int folder);
};

PendingWrite SafeWriteAccess::Prepare(const std::string& path, const ContentProducer& produce,
                                      const WriteOptions& options) {
    PendingWrite w;
    w.path_ = path;
    w.readAs_ = options.readAs;
    if (const int err = FindWriteTarget(path, options.beneath, w.target_))
        throw WriteError(path, err);
    const int folder = w.target_.folder.Get();
    const char* name = w.target_.name.c_str();

    struct stat st {};
    bool exists = true;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            throw WriteError(path, errno);
        exists = false;
    }
    if (w.readAs_.known && (!exists || !StillAsRead(st, w.readAs_)))
        throw WriteError(path, 0, WriteFailure::ChangedSinceRead);
    if (exists) {
        if (!S_ISREG(st.st_mode))
            throw WriteError(path, NotRegularFileError(st.st_mode));
        // A file without any write permission is read-only, also for the superuser.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            throw WriteError(path, EACCES);
        // Nobody may replace a file they may not write (an immutable file included).
        if (::faccessat(folder, name, W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
            throw WriteError(path, errno);
        w.inPlace_ = st.st_nlink > 1;
        if (w.inPlace_ && OnOverlay(folder))
            throw WriteError(path, 0, WriteFailure::LinksOnOverlay);
    }
    w.replaces_ = exists;
    if (!w.inPlace_ && AppendOnlyFolder(folder)) {
        if (!exists)
            throw WriteError(path, EPERM);
        w.inPlace_ = true;
    }

    UniqueFd made; // a temporary holding the content that cannot take the file's place
    std::size_t madeSize = 0;
    if (!w.inPlace_) {
        Hold(w);
        const int fd = CreateTemporary(folder, w.target_.name, exists ? 0600 : 0666, w.tempName_);
        if (fd < 0)
            w.LetFolderGo();
        if (fd >= 0) {
            w.fd_.Reset(fd);
            // Whatever the producer throws (a read failing half-way) passes on, and
            // w's destructor removes the temporary.
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
            int err = exists ? CopyFileAttributes(PathThrough(w.target_), st, fd) : 0;
            struct stat tst {};
            if (err == 0 && ::fstat(fd, &tst) != 0)
                err = errno;
            if (err == 0) {
                w.device_ = tst.st_dev;
                w.inode_ = tst.st_ino;
                w.ctime_ = tst.st_ctim;
                // The commit checks the change time, so this is the file it puts
                // in place, unchanged since.
                w.writtenAs_ = FileStamp::Of(tst);
                return w;
            }
            if (err != KeepInPlace)
                throw WriteError(path, err);
            // The content is already in the temporary: the write in place takes it
            // from there (the temporary goes with w when that fails); the folder stays held
            // while it is there.
            made = std::move(w.fd_);
            madeSize = size;
        } else if (!exists || (-fd != EACCES && -fd != EPERM)) {
            throw WriteError(path, -fd);
        }
        // A folder that takes no new file while the file itself is writable, or a
        // file whose owner or attributes a new file could not get: write in place.
        w.inPlace_ = true;
    }
    PrepareInPlace(w, st, made.Get(), madeSize, produce);
    if (made.Valid()) {
        made.Reset();
        ::unlinkat(folder, w.tempName_.c_str(), 0);
        w.tempName_.clear();
    }
    return w;
}

void SafeWriteAccess::PrepareInPlace(PendingWrite& w, const struct stat& st, int made,
                                     std::size_t madeSize, const ContentProducer& produce) {
    const std::string& path = w.path_;
    const int folder = w.target_.folder.Get();
    const char* name = w.target_.name.c_str();
    constexpr int Flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
    int fd = ::openat(folder, name, O_RDWR | Flags);
    if (fd < 0 && errno == EACCES)
        fd = ::openat(folder, name, O_WRONLY | Flags); // its old bytes cannot be kept
    if (fd < 0)
        throw WriteError(path, errno);
    w.fd_.Reset(fd);
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        throw WriteError(path, errno);
    if (!S_ISREG(now.st_mode))
        throw WriteError(path, NotRegularFileError(now.st_mode));
    if (!SameInode(now, st.st_dev, st.st_ino) || !StillAsRead(now, w.readAs_))
        throw WriteError(path, 0, WriteFailure::ChangedSinceRead);
    w.device_ = now.st_dev;
    w.inode_ = now.st_ino;
    w.oldSize_ = now.st_size;
    const auto oldSize = static_cast<std::size_t>(now.st_size);

    // What the write would take away for good: the file is not written.
    HeldPrivileges held;
    switch (PrivilegesAfterWrite(fd, now, held)) {
    case PrivilegeLoss::SetUserId:
        throw WriteError(path, 0, WriteFailure::LosesSetUserId);
    case PrivilegeLoss::SetGroupId:
        throw WriteError(path, 0, WriteFailure::LosesSetGroupId);
    case PrivilegeLoss::Capabilities:
        throw WriteError(path, 0, WriteFailure::LosesCapabilities);
    case PrivilegeLoss::None:
        break;
    }
    w.keepMode_ = held.mode;
    w.keepCapability_ = std::move(held.capability);

    // The new bytes wait, and the old bytes are kept, in a temporary beside the
    // file that only this account can read, so that a file of any size costs a
    // piece's worth of memory. An append-only folder would keep such a temporary
    // for good, and a folder may take no new file at all: there both are held in
    // memory, up to InPlaceMemoryBytes each.
    if (!AppendOnlyFolder(folder)) {
        if (!w.holdsFolder_)
            Hold(w);
        const int hold = CreateTemporary(folder, w.target_.name, 0600, w.holdName_);
        struct stat hst {};
        if (hold >= 0) {
            w.holdFd_.Reset(hold);
            if (::fstat(hold, &hst) != 0)
                throw WriteError(path, errno);
            w.holdDevice_ = hst.st_dev; // known again by these, to be removed
            w.holdInode_ = hst.st_ino;
        } else if (-hold != EACCES && -hold != EPERM)
            throw WriteError(path, -hold);
    }
    const bool readable = (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR;
    if (w.holdFd_.Valid()) {
        const int hold = w.holdFd_.Get();
        std::size_t size = 0;
        if (made >= 0) {
            if (const int err = CopyBytes(made, 0, hold, 0, madeSize, &size))
                throw WriteError(path, err);
            if (size != madeSize)
                throw WriteError(path, EIO);
        } else {
            produce([&](std::string_view piece) {
                if (const int err = WriteAll(hold, piece, static_cast<off_t>(size)))
                    throw WriteError(path, err);
                size += piece.size();
            });
        }
        w.newSize_ = size;
        // The old bytes, so that a write that fails half-way can put them back.
        if (readable) {
            std::size_t copied = 0;
            if (const int err = CopyBytes(fd, 0, hold, static_cast<off_t>(size), oldSize, &copied))
                throw WriteError(path, err);
            if (copied != oldSize)
                throw WriteError(path, 0, WriteFailure::ChangedSinceRead);
            w.oldKnown_ = true;
        }
        struct stat hst {};
        if (::fstat(hold, &hst) != 0)
            throw WriteError(path, errno);
        w.holdCtime_ = hst.st_ctim;
    } else {
        const auto tooLarge = [&](std::size_t size) {
            if (size > InPlaceMemoryBytes)
                throw WriteError(path, 0, WriteFailure::TooLargeInMemory);
        };
        if (readable)
            tooLarge(oldSize);
        if (made >= 0) {
            tooLarge(madeSize);
            if (const int err = ReadAll(made, w.data_, madeSize);
                err != 0 || w.data_.size() != madeSize)
                throw WriteError(path, err != 0 ? err : EIO);
        } else {
            produce([&](std::string_view piece) {
                tooLarge(w.data_.size() + piece.size());
                w.data_.append(piece);
            });
        }
        w.newSize_ = w.data_.size();
        // The old bytes, so that a write that fails half-way can put them back.
        w.oldKnown_ = readable && ReadAll(fd, w.old_, oldSize) == 0 && w.old_.size() == oldSize;
    }
    // Make sure of the new size first, so that a full disk fails before any byte
    // changes. The size itself stays until the commit.
    if (const int err = ReserveSize(fd, now, w.newSize_, w.growAtCommit_))
        throw WriteError(path, err);
    // The reservation itself sets the file's modification time: from here on the
    // file as read is the file as it is now.
    if (w.readAs_.known) {
        struct stat reserved {};
        if (::fstat(fd, &reserved) != 0)
            throw WriteError(path, errno);
        w.readAs_ = FileStamp::Of(reserved);
    }
}

int SafeWriteAccess::Fd(PendingWrite& w) {
    if (w.fd_.Valid() || w.tempName_.empty())
        return w.fd_.Get();
    const int folder = Folder(w);
    if (folder < 0)
        return -1;
    UniqueFd fd(
        ::openat(folder, w.tempName_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
    if (!fd.Valid())
        return errno == ENOENT || errno == ELOOP ? TemporaryGone : -1;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !SameInode(st, w.device_, w.inode_))
        return TemporaryGone;
    w.fd_ = std::move(fd);
    return w.fd_.Get();
}

int SafeWriteAccess::HoldFd(PendingWrite& w) {
    if (w.holdFd_.Valid())
        return w.holdFd_.Get();
    const int folder = Folder(w);
    if (folder < 0)
        return -1;
    UniqueFd fd(::openat(folder, w.holdName_.c_str(),
                         O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK));
    if (!fd.Valid())
        return errno == ENOENT || errno == ELOOP ? TemporaryGone : -1;
    // The very file this process filled: the change time tells a new file that
    // was given a freed inode number.
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !SameInode(st, w.holdDevice_, w.holdInode_) ||
        st.st_ctim.tv_sec != w.holdCtime_.tv_sec || st.st_ctim.tv_nsec != w.holdCtime_.tv_nsec)
        return TemporaryGone;
    w.holdFd_ = std::move(fd);
    return w.holdFd_.Get();
}

// The temporary's name still holds the very file this process wrote.
Failure SafeWriteAccess::TemporaryStillOurs(PendingWrite& w, int folder) {
    struct stat st {};
    if (::fstatat(folder, w.tempName_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Replaced : Sys(errno);
    // The change time tells a new file that was given a freed inode number.
    if (!SameInode(st, w.device_, w.inode_) || st.st_ctim.tv_sec != w.ctime_.tv_sec ||
        st.st_ctim.tv_nsec != w.ctime_.tv_nsec)
        return Replaced;
    return {};
}

Failure SafeWriteAccess::CommitReplacement(PendingWrite& w, RetiredFiles* retired) {
    const int folder = Folder(w);
    if (folder < 0)
        return Sys(errno);
    const char* temp = w.tempName_.c_str();
    const char* name = w.target_.name.c_str();
    if (const Failure f = TemporaryStillOurs(w, folder))
        return f;

    if (w.replaces_) {
        // Exchanged, the old file can be looked at before it goes, and put back.
        if (::renameat2(folder, temp, folder, name, RENAME_EXCHANGE) == 0) {
            struct stat now {};
            struct stat old {};
            Failure f;
            if (::fstatat(folder, name, &now, AT_SYMLINK_NOFOLLOW) != 0 ||
                !SameInode(now, w.device_, w.inode_))
                f = Replaced;
            else if (::fstatat(folder, temp, &old, AT_SYMLINK_NOFOLLOW) != 0)
                f = Sys(errno);
            else if (!S_ISREG(old.st_mode))
                f = Sys(NotRegularFileError(old.st_mode)); // a folder took its place
            else if (!StillAsRead(old, w.readAs_))
                f = Changed;
            if (f) {
                ::renameat2(folder, temp, folder, name, RENAME_EXCHANGE);
                return f;
            }
            if (retired != nullptr)
                retired->Add(w.target_, w.tempName_, old);
            else
                ::unlinkat(folder, temp, 0);
            return {};
        }
        if (errno == ENOENT && w.readAs_.known)
            return Changed; // deleted since it was read: not created again
        if (errno != EINVAL && errno != ENOSYS && errno != ENOENT)
            return Sys(errno);
        // No exchange on this file system: check, then rename.
        struct stat old {};
        if (::fstatat(folder, name, &old, AT_SYMLINK_NOFOLLOW) == 0) {
            if (!S_ISREG(old.st_mode))
                return Sys(NotRegularFileError(old.st_mode));
            if (!StillAsRead(old, w.readAs_))
                return Changed;
        } else if (w.readAs_.known) {
            return Changed;
        }
    }
    if (::renameat2(folder, temp, folder, name, 0) != 0)
        return Sys(errno);
    struct stat now {};
    if (::fstatat(folder, name, &now, AT_SYMLINK_NOFOLLOW) != 0 ||
        !SameInode(now, w.device_, w.inode_))
        return Replaced;
    return {};
}

Failure SafeWriteAccess::CommitInPlace(PendingWrite& w) {
    if (!w.fd_.Valid()) {
        const int folder = Folder(w);
        if (folder < 0)
            return Sys(errno);
        constexpr int Flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
        const char* name = w.target_.name.c_str();
        w.fd_.Reset(::openat(folder, name, (w.oldKnown_ ? O_RDWR : O_WRONLY) | Flags));
        if (!w.fd_.Valid())
            return errno == ENOENT && w.readAs_.known ? Changed : Sys(errno);
    }
    const int fd = w.fd_.Get();
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Sys(errno);
    if (!SameInode(st, w.device_, w.inode_) || st.st_size != w.oldSize_ ||
        !StillAsRead(st, w.readAs_))
        return Changed;
    int hold = -1;
    if (!w.holdName_.empty()) {
        hold = HoldFd(w);
        if (hold < 0)
            return hold == TemporaryGone ? Replaced : Sys(errno);
    }
    // The new bytes from..from+count, or the old ones, written at the same place.
    const auto putNew = [&](std::size_t from, std::size_t count) {
        const auto at = static_cast<off_t>(from);
        return hold >= 0 ? CopyBytes(hold, at, fd, at, count)
                         : WriteAll(fd, std::string_view(w.data_).substr(from, count), at);
    };
    const auto putOld = [&] {
        const auto size = static_cast<std::size_t>(w.oldSize_);
        return hold >= 0 ? CopyBytes(hold, static_cast<off_t>(w.newSize_), fd, 0, size)
                         : WriteAll(fd, w.old_, 0);
    };
    const HeldPrivileges held{w.keepMode_, w.keepCapability_};
    // Without fallocate, the new size is made sure of by writing the part beyond
    // the old end first; when that fails, the file is cut back to its old bytes.
    if (w.growAtCommit_) {
        const auto oldSize = static_cast<std::size_t>(w.oldSize_);
        int err = putNew(oldSize, w.newSize_ - oldSize);
        if (err == 0 && ::fdatasync(fd) != 0)
            err = errno;
        if (err != 0) {
            (void)::ftruncate(fd, w.oldSize_);
            (void)RestorePrivileges(fd, held);
            (void)::fdatasync(fd);
            return Sys(err);
        }
    }
    int err = putNew(0, w.newSize_);
    if (err == 0 && ::ftruncate(fd, static_cast<off_t>(w.newSize_)) != 0)
        err = errno;
    // The write took the set-user-ID and set-group-ID bits and the capabilities
    // away; they are given back before the file is made durable.
    if (err == 0)
        err = RestorePrivileges(fd, held);
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (err != 0 && w.oldKnown_) {
        // Put the old bytes back: after a failure the file is as it was.
        if (putOld() == 0)
            (void)::ftruncate(fd, w.oldSize_);
        (void)RestorePrivileges(fd, held);
        (void)::fsync(fd);
    }
    return Sys(err);
}

Failure SafeWriteAccess::Commit(PendingWrite& w, RetiredFiles* retired) {
    const Failure f = w.inPlace_ ? CommitInPlace(w) : CommitReplacement(w, retired);
    if (f)
        return f;
    // Written in place: the file as this write left it, through its own descriptor.
    struct stat st {};
    if (w.inPlace_)
        w.writtenAs_ =
            w.fd_.Valid() && ::fstat(w.fd_.Get(), &st) == 0 ? FileStamp::Of(st) : FileStamp{};
    w.committed_ = true;
    w.tempName_.clear();
    std::string().swap(w.data_);
    std::string().swap(w.old_);
    w.fd_.Reset();
    w.RemoveHold();
    w.LetFolderGo(); // a replaced file kept by the batch holds the folder itself
    return {};
}

namespace {

// The last folder a batch worked in, shared by the writes that follow in it, so
// that a chunk opens each folder once.
class FolderCache {
public:
    void Attach(PendingWrite& w) { SafeWriteAccess::ShareFolder(w, fd_.Get(), st_); }
    void Remember(int folder) {
        struct stat st {};
        if (folder < 0 || ::fstat(folder, &st) != 0)
            return;
        if (fd_.Valid() && SameInode(st, st_.st_dev, st_.st_ino))
            return;
        fd_.Reset(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
        st_ = st;
    }
    int Get() const { return fd_.Get(); }
    void Reset() { fd_.Reset(); }

private:
    UniqueFd fd_;
    struct stat st_ {};
};

void CommitAll(std::vector<PendingWrite>& writes, bool perFileSync, RetiredFiles* retired = nullptr,
               const CommittedFile& committed = {}) {
    const std::size_t n = writes.size();
    auto fail = [&writes](std::size_t i, Failure f) {
        WriteError error(writes[i].Path(), f.errnum, f.kind, i);
        writes.clear(); // removes the temporaries of this one and the rest
        throw error;
    };
    FolderCache folders;
    auto folderOf = [&folders](PendingWrite& w) {
        folders.Attach(w);
        const int folder = SafeWriteAccess::Folder(w);
        folders.Remember(folder);
        return folder;
    };
    // Durability of the temporaries: one syncfs per file system; where that fails
    // (or for a single file), fsync each file.
    std::vector<dev_t> synced;
    std::vector<dev_t> failed;
    if (!perFileSync) {
        for (PendingWrite& w : writes) {
            if (w.InPlace())
                continue;
            const dev_t dev = SafeWriteAccess::Device(w);
            if (std::find(synced.begin(), synced.end(), dev) != synced.end() ||
                std::find(failed.begin(), failed.end(), dev) != failed.end())
                continue;
            folderOf(w);
            const int fd = SafeWriteAccess::Fd(w);
            (fd >= 0 && ::syncfs(fd) == 0 ? synced : failed).push_back(dev);
            SafeWriteAccess::CloseFile(w);
        }
    }
    std::size_t firstFailure = n;
    Failure failure;
    for (std::size_t i = 0; i < n; ++i) {
        PendingWrite& w = writes[i];
        if (w.InPlace())
            continue;
        if (perFileSync ||
            std::find(synced.begin(), synced.end(), SafeWriteAccess::Device(w)) == synced.end()) {
            folderOf(w);
            const int fd = SafeWriteAccess::Fd(w);
            if (fd < 0 || ::fsync(fd) != 0) {
                firstFailure = i;
                failure = fd == SafeWriteAccess::TemporaryGone ? Replaced : Sys(errno);
                break;
            }
            SafeWriteAccess::CloseFile(w);
        }
    }
    // Put in place in order; each folder is flushed once the files put there
    // before the next folder's are in, and a folder that cannot be flushed fails
    // the file that was last put there.
    UniqueFd folderToFlush;
    dev_t flushDevice = 0;
    ino_t flushInode = 0;
    std::size_t lastInFolder = 0;
    auto flush = [&] {
        if (folderToFlush.Valid() && ::fsync(folderToFlush.Get()) != 0) {
            const int err = errno;
            folderToFlush.Reset();
            fail(lastInFolder, Sys(err));
        }
        folderToFlush.Reset();
    };
    for (std::size_t i = 0; i < firstFailure; ++i) {
        PendingWrite& w = writes[i];
        folderOf(w);
        const bool inPlace = w.InPlace();
        if (const Failure f = SafeWriteAccess::Commit(w, retired)) {
            flush();
            fail(i, f);
        }
        if (committed)
            committed(i, w.WrittenAs());
        if (!inPlace) {
            // The folder as found at preparation: known without a look at the disk.
            const WriteTarget& target = SafeWriteAccess::Target(w);
            if (!folderToFlush.Valid() || target.folderDevice != flushDevice ||
                target.folderInode != flushInode) {
                flush();
                const int folder = SafeWriteAccess::Folder(w);
                if (folder >= 0)
                    folderToFlush.Reset(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
                flushDevice = target.folderDevice;
                flushInode = target.folderInode;
            }
            lastInFolder = i;
        }
        w.CloseDescriptor();
    }
    flush();
    if (firstFailure < n)
        fail(firstFailure, failure);
    writes.clear();
}

} // namespace

PendingWrite::PendingWrite(PendingWrite&& other) noexcept {
    *this = std::move(other);
}

PendingWrite& PendingWrite::operator=(PendingWrite&& other) noexcept {
    if (this != &other) {
        Discard();
        path_ = std::move(other.path_);
        target_ = std::move(other.target_);
        tempName_ = std::exchange(other.tempName_, std::string());
        data_ = std::move(other.data_);
        old_ = std::move(other.old_);
        oldKnown_ = other.oldKnown_;
        holdName_ = std::exchange(other.holdName_, std::string());
        holdFd_ = std::move(other.holdFd_);
        holdDevice_ = other.holdDevice_;
        holdInode_ = other.holdInode_;
        holdCtime_ = other.holdCtime_;
        newSize_ = other.newSize_;
        keepMode_ = other.keepMode_;
        keepCapability_ = std::move(other.keepCapability_);
        fd_ = std::move(other.fd_);
        device_ = other.device_;
        inode_ = other.inode_;
        ctime_ = other.ctime_;
        oldSize_ = other.oldSize_;
        growAtCommit_ = other.growAtCommit_;
        readAs_ = other.readAs_;
        writtenAs_ = other.writtenAs_;
        replaces_ = other.replaces_;
        inPlace_ = other.inPlace_;
        committed_ = other.committed_;
        holdsFolder_ = std::exchange(other.holdsFolder_, false);
    }
    return *this;
}

PendingWrite::~PendingWrite() {
    Discard();
}

void PendingWrite::CloseDescriptor() noexcept {
    fd_.Reset();
    holdFd_.Reset();
    target_.folder.Reset();
}

void PendingWrite::RemoveHold() noexcept {
    holdFd_.Reset();
    if (holdName_.empty() || ReopenFolder(target_) != 0)
        return;
    // Only the file this process filled, should another have taken its name.
    struct stat st {};
    if (::fstatat(target_.folder.Get(), holdName_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        st.st_dev == holdDevice_ && st.st_ino == holdInode_)
        ::unlinkat(target_.folder.Get(), holdName_.c_str(), 0);
    holdName_.clear();
}

void PendingWrite::LetFolderGo() noexcept {
    if (std::exchange(holdsFolder_, false))
        ReleaseTemporaryFolder(target_.folderDevice, target_.folderInode);
}

void PendingWrite::Discard() noexcept {
    fd_.Reset();
    RemoveHold();
    if (!committed_ && !tempName_.empty() && ReopenFolder(target_) == 0)
        ::unlinkat(target_.folder.Get(), tempName_.c_str(), 0);
    tempName_.clear();
    LetFolderGo();
    std::string().swap(data_);
    std::string().swap(old_);
    target_.folder.Reset();
}

PendingWrite PrepareWrite(const std::string& path, std::string_view data,
                          const WriteOptions& options) {
    return PrepareWriteFrom(
        path, [data](const ContentSink& sink) { sink(data); }, options);
}

PendingWrite PrepareWriteFrom(const std::string& path, const ContentProducer& produce,
                              const WriteOptions& options) {
    return SafeWriteAccess::Prepare(path, produce, options);
}

void CommitWrites(std::vector<PendingWrite>& writes) {
    CommitAll(writes, false);
}

void WriteWholeFile(const std::string& path, std::string_view data, const WriteOptions& options) {
    CommitWrite(PrepareWrite(path, data, options));
}

void CommitWrite(PendingWrite write) {
    std::vector<PendingWrite> one;
    one.push_back(std::move(write));
    CommitAll(one, true);
}

PendingWrite WriteBatch::Prepare(const std::string& path, const ContentProducer& produce,
                                 const WriteOptions& options) {
    std::size_t bytes = 0;
    PendingWrite w = PrepareWriteFrom(
        path,
        [&](const ContentSink& sink) {
            produce([&](std::string_view piece) {
                bytes += piece.size();
                sink(piece);
            });
        },
        options);
    if (!w.InPlace()) {
        const int folder = SafeWriteAccess::Folder(w);
        if (folder >= 0)
            room_->Written(folder, SafeWriteAccess::Device(w), bytes);
    }
    return w;
}

WriteBatch::WriteBatch()
    : retired_(std::make_unique<RetiredFiles>()), room_(std::make_unique<RoomWatch>()) {}

WriteBatch::~WriteBatch() = default;

bool WriteBatch::RoomRunsLow() {
    return room_->Low(retired_->Bytes());
}

void WriteBatch::Commit(std::vector<PendingWrite>& writes, const CommittedFile& committed) {
    // However the commit ends, the replaced files it kept count against the bounds.
    struct AfterCommit {
        WriteBatch& batch;
        ~AfterCommit() {
            RetiredFiles& retired = *batch.retired_;
            const bool many = retired.Count() >= kMaxRetiredFiles ||
                              retired.Bytes() >= kMaxRetiredBytes ||
                              retired.Folders() >= kMaxRetiredFolders;
            batch.room_->Committed();
            if (retired.Count() > 0 && (many || batch.RoomRunsLow())) {
                retired.DeleteAll();
                batch.room_->Freed();
            }
        }
    } after{*this};
    CommitAll(writes, false, retired_.get(), committed);
}

void WriteFilesInOrder(std::size_t count, const std::function<std::string(std::size_t)>& pathOf,
                       const std::function<std::string_view(std::size_t)>& contentOf,
                       std::size_t chunkFiles, std::size_t chunkBytes,
                       const std::function<WriteOptions(std::size_t)>& optionsOf,
                       const CommittedFile& committed) {
    WriteBatch batch; // deletes the replaced files, however this ends
    std::vector<PendingWrite> pending;
    std::size_t first = 0; // the file number of pending[0]
    std::size_t bytes = 0;
    CommittedFile numbered;
    if (committed)
        numbered = [&](std::size_t i, const FileStamp& writtenAs) {
            committed(first + i, writtenAs);
        };
    auto commit = [&] {
        try {
            batch.Commit(pending, numbered);
        } catch (const WriteError& e) {
            throw e.WithIndex(first + e.Index());
        }
    };
    for (std::size_t i = 0; i < count; ++i) {
        try {
            const std::string path = pathOf(i);
            const std::string_view data = contentOf(i);
            pending.push_back(batch.Prepare(
                path, [data](const ContentSink& sink) { sink(data); },
                optionsOf ? optionsOf(i) : WriteOptions{}));
            pending.back().CloseDescriptor();
            bytes += data.size();
        } catch (const WriteError& e) {
            // The files before this one are written; then this one's error is told.
            commit();
            throw e.WithIndex(i);
        } catch (...) {
            commit();
            throw;
        }
        // A chunk ends early where the disk's free space runs low: its commit
        // deletes the files replaced so far.
        if (pending.size() >= std::max<std::size_t>(chunkFiles, 1) || bytes >= chunkBytes ||
            batch.RoomRunsLow()) {
            commit();
            first = i + 1;
            bytes = 0;
        }
    }
    commit();
}
