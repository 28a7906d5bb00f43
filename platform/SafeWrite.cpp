#include "platform/SafeWrite.h"

#include "platform/SystemError.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace {

// Keeps a temporary name within NAME_MAX whatever the target is called.
constexpr std::size_t MaxBaseInTempName = 200;
constexpr int MaxSymlinkHops = 40;
constexpr std::size_t EarlyWritebackBytes = std::size_t{8} << 20;

class CreateError : public std::runtime_error {
public:
    CreateError(const std::string& path, int errnum)
        : std::runtime_error(CreateErrorMessage(path, errnum)) {}
};

int NotRegularFileError(mode_t mode) {
    return S_ISDIR(mode) ? EISDIR : EINVAL;
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links to the file they finally name, which need not exist yet
// (writing through a dangling link creates its target, as opening it would).
std::string ResolveTarget(const std::string& path) {
    std::string current = path;
    for (int hop = 0;; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno == ENOENT)
                return current;
            throw CreateError(path, errno);
        }
        if (!S_ISLNK(st.st_mode))
            return current;
        if (hop == MaxSymlinkHops)
            throw CreateError(path, ELOOP);
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n < 0)
            throw CreateError(path, errno);
        if (static_cast<std::size_t>(n) >= link.size())
            throw CreateError(path, ENAMETOOLONG);
        link.resize(static_cast<std::size_t>(n));
        if (!link.empty() && link.front() == '/')
            current = std::move(link);
        else
            current = DirectoryOf(current) + "/" + link;
    }
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
    std::string s(6, 'X');
    for (char& c : s) {
        c = Alphabet[x % 62];
        x /= 62;
    }
    return s;
}

// Creates ".<name>.vx-XXXXXX.tmp" beside target. Returns the descriptor or -errno.
int CreateTemporary(const std::string& target, mode_t mode, std::string& tempPath) {
    const std::string dir = DirectoryOf(target);
    std::string base = NameOf(target);
    if (base.size() > MaxBaseInTempName)
        base.resize(MaxBaseInTempName);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = dir + "/." + base + ".vx-" + RandomSuffix() + ".tmp";
        const int fd = ::open(tempPath.c_str(),
                              O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, mode);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            const int err = errno;
            tempPath.clear();
            return -err;
        }
    }
    tempPath.clear();
    return -EEXIST;
}

// What the metadata copy returns when the new file could not be given everything
// the old one has (another owner, an attribute the process may not set): the file
// is then written in place, which keeps all of it.
constexpr int KeepInPlace = -1;

bool IgnorableAttributeError(int err) {
    return err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == EACCES;
}

// Copies every extended attribute (ACLs included) of source onto fd. Returns 0,
// KeepInPlace or errno. Attributes the process may not read are not its to keep.
int CopyAttributes(const std::string& source, int fd) {
    std::string names;
    for (;;) {
        const ssize_t size = ::llistxattr(source.c_str(), nullptr, 0);
        if (size < 0)
            return IgnorableAttributeError(errno) ? 0 : errno;
        if (size == 0)
            return 0;
        names.assign(static_cast<std::size_t>(size), '\0');
        const ssize_t got = ::llistxattr(source.c_str(), names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE)
            return IgnorableAttributeError(errno) ? 0 : errno;
    }
    std::string value;
    for (std::size_t at = 0; at < names.size();) {
        const std::size_t end = names.find('\0', at);
        const std::string name = names.substr(at, end == std::string::npos ? end : end - at);
        at = end == std::string::npos ? names.size() : end + 1;
        if (name.empty())
            continue;
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
    return 0;
}

// Gives the temporary file the target's owner, group, attributes and mode.
// Returns 0, KeepInPlace or errno.
int CopyMetadata(const std::string& source, const struct stat& st, int fd) {
    if (::fchown(fd, st.st_uid, st.st_gid) != 0)
        return errno == EPERM ? KeepInPlace : errno;
    if (const int err = CopyAttributes(source, fd))
        return err;
    // Last: changing the owner drops set-user-ID and set-group-ID bits.
    if (::fchmod(fd, st.st_mode & 07777) != 0)
        return errno;
    return 0;
}

void SyncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Files replaced during a batch keep their old content under the temporary name
// their replacement had (the two are exchanged instead of the old one being
// deleted). Once that exchange is on the disk, such a spare can take the content
// of a later file in the batch: on a large batch this spares the file system the
// creation and deletion of a file for every file written, which on some file
// systems grows costlier with every file recently deleted. A spare that anyone may
// still be reading (a web server that opened the old file) is never reused; it
// is deleted, as every spare left is at the end of the batch.
struct Spare {
    std::string path;
    std::uint64_t mount = 0; // a rename cannot cross mounts, even on one device
    uid_t dirOwner = 0;
    bool dirPrivate = false; // only its owner may change names in its directory
};

// The mount a path is on, or 0 when the system cannot tell.
std::uint64_t MountOf(const std::string& path) {
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &sx) != 0 ||
        (sx.stx_mask & STATX_MNT_ID) == 0)
        return 0;
    return sx.stx_mnt_id;
}

} // namespace

class SparePool {
public:
    SparePool() = default;
    SparePool(const SparePool&) = delete;
    SparePool& operator=(const SparePool&) = delete;
    ~SparePool() {
        for (const Spare& s : ready_)
            ::unlink(s.path.c_str());
        for (const Spare& s : parked_)
            ::unlink(s.path.c_str());
    }

    // Where a write's temporary file lies: its mount and its directory's owner.
    void Describe(PendingWrite& w, const std::string& dir) const;

    // Just exchanged: not to be reused before the exchange is durable.
    void Park(Spare spare) {
        const std::lock_guard<std::mutex> lock(mutex_);
        parked_.push_back(std::move(spare));
    }
    // The directories of the parked spares have been flushed.
    void ParkedAreDurable() {
        const std::lock_guard<std::mutex> lock(mutex_);
        ready_.insert(ready_.end(), std::make_move_iterator(parked_.begin()),
                      std::make_move_iterator(parked_.end()));
        parked_.clear();
    }

    // A spare for a target (of owner targetOwner, on device, in dir): opened for
    // writing, made private to its owner, its path in path; or -1. Spares found
    // unfit are deleted.
    //
    // A spare is fit when nobody else can reach it: it lies in the target's own
    // directory, or in one that only the target directory's owner may change (so
    // no one gains a way into a directory they could not write), and it belongs
    // to the target's owner. Nobody may have it open either (a reader of the old
    // file reads on undisturbed): a write lease is granted only while no other
    // descriptor or mapping of the file exists anywhere, and is given back at once.
    int Take(const PendingWrite& target, uid_t targetOwner, dev_t device, const std::string& dir,
             std::string& path) {
        const std::lock_guard<std::mutex> lock(mutex_);
        const std::uint64_t mount = target.mount_;
        for (auto it = ready_.rbegin(); mount != 0 && it != ready_.rend();) {
            const bool near =
                it->mount == mount && (it->dirPrivate ? it->dirOwner == target.tempDirOwner_
                                                      : DirectoryOf(it->path) == dir);
            if (!near) {
                ++it;
                continue;
            }
            Spare spare = std::move(*it);
            it = std::make_reverse_iterator(ready_.erase(std::next(it).base()));
            const int fd = OpenIfFit(spare.path, targetOwner, device);
            if (fd >= 0) {
                path = std::move(spare.path);
                return fd;
            }
            ::unlink(spare.path.c_str());
        }
        return -1;
    }

private:
    static int OpenIfFit(const std::string& path, uid_t owner, dev_t device) {
        const int fd =
            ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return -1;
        struct stat st {};
        // No extended attributes either: the new content's file gets exactly its
        // target's.
        const bool fit = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
                         st.st_dev == device && st.st_uid == owner &&
                         ::flistxattr(fd, nullptr, 0) == 0 && ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
        if (!fit) {
            ::close(fd);
            return -1;
        }
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        // As private as a new temporary file until the target's mode is given.
        if (::fchmod(fd, 0600) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    mutable std::mutex mutex_; // writes of one batch may be prepared on several threads
    std::vector<Spare> ready_;
    std::vector<Spare> parked_;
    mutable std::string lastDir_; // the last directory looked at, and what it was
    mutable struct stat lastDirStat_ {};
    mutable bool lastDirKnown_ = false;
};

void SparePool::Describe(PendingWrite& w, const std::string& dir) const {
    w.mount_ = MountOf(w.target_);
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!lastDirKnown_ || dir != lastDir_) {
        lastDir_ = dir;
        lastDirKnown_ = ::stat(dir.c_str(), &lastDirStat_) == 0;
    }
    if (!lastDirKnown_) {
        w.mount_ = 0; // nothing is kept or reused for it
        return;
    }
    w.tempDirOwner_ = lastDirStat_.st_uid;
    w.tempDirPrivate_ = (lastDirStat_.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Lets the commit step reach the private parts of a pending write.
class SafeWriteAccess {
public:
    // Puts one prepared write in place. Returns 0 or errno. With a pool, a
    // replaced file is kept there as a spare.
    static int Commit(PendingWrite& w, SparePool* pool) {
        if (w.inPlace_) {
            int err = WriteAll(w.fd_, w.data_, 0);
            if (err == 0 && ::ftruncate(w.fd_, static_cast<off_t>(w.data_.size())) != 0)
                err = errno;
            if (err == 0 && ::fsync(w.fd_) != 0)
                err = errno;
            if (err != 0)
                return err;
        } else if (pool != nullptr && w.replaces_ && w.mount_ != 0 &&
                   ::renameat2(AT_FDCWD, w.temp_.c_str(), AT_FDCWD, w.target_.c_str(),
                               RENAME_EXCHANGE) == 0) {
            // The old content, under the temporary name. A folder that took the
            // target's place meanwhile is put back: a rename would not replace it.
            struct stat old {};
            if (::lstat(w.temp_.c_str(), &old) == 0 && S_ISDIR(old.st_mode)) {
                ::renameat2(AT_FDCWD, w.temp_.c_str(), AT_FDCWD, w.target_.c_str(),
                            RENAME_EXCHANGE);
                return EISDIR;
            }
            pool->Park({w.temp_, w.mount_, w.tempDirOwner_, w.tempDirPrivate_});
        } else if (::rename(w.temp_.c_str(), w.target_.c_str()) != 0) {
            return errno;
        }
        w.committed_ = true;
        w.temp_.clear();
        w.data_.clear();
        w.data_.shrink_to_fit();
        if (w.fd_ >= 0)
            ::close(w.fd_);
        w.fd_ = -1;
        return 0;
    }
    // A descriptor to flush the write through: its own, or the temporary opened
    // again when it was closed after writing. -1 with errno set when that fails.
    static PendingWrite Prepare(const std::string& path, const ContentProducer& produce,
                                SparePool* pool);
    static int Fd(PendingWrite& w) {
        if (w.fd_ < 0 && !w.temp_.empty())
            w.fd_ = ::open(w.temp_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
        return w.fd_;
    }
    static dev_t Device(const PendingWrite& w) { return w.device_; }
};

namespace {

void CommitAll(std::vector<PendingWrite>& writes, bool perFileSync, SparePool* pool = nullptr) {
    const std::size_t n = writes.size();
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
            (::syncfs(SafeWriteAccess::Fd(w)) == 0 ? synced : failed).push_back(dev);
        }
    }
    std::size_t firstFailure = n;
    int failure = 0;
    for (std::size_t i = 0; i < n; ++i) {
        PendingWrite& w = writes[i];
        if (w.InPlace())
            continue;
        if (perFileSync ||
            std::find(synced.begin(), synced.end(), SafeWriteAccess::Device(w)) == synced.end()) {
            const int fd = SafeWriteAccess::Fd(w);
            if (fd < 0 || ::fsync(fd) != 0) {
                firstFailure = i;
                failure = errno;
                break;
            }
        }
    }
    std::vector<std::string> directories;
    auto finish = [&] {
        for (const std::string& dir : directories)
            SyncDirectory(dir);
    };
    auto note = [&directories](std::string dir) {
        if (std::find(directories.begin(), directories.end(), dir) == directories.end())
            directories.push_back(std::move(dir));
    };
    for (std::size_t i = 0; i < firstFailure; ++i) {
        PendingWrite& w = writes[i];
        const bool inPlace = w.InPlace();
        const std::string temp = w.TemporaryPath();
        if (const int err = SafeWriteAccess::Commit(w, pool)) {
            const std::string path = w.Path();
            writes.clear(); // removes the temporaries of this one and the rest
            finish();
            throw CreateError(path, err);
        }
        if (!inPlace) {
            note(DirectoryOf(w.Target()));
            note(DirectoryOf(temp)); // a reused spare may live elsewhere
        }
    }
    finish();
    if (pool != nullptr)
        pool->ParkedAreDurable();
    if (firstFailure < n) {
        const std::string path = writes[firstFailure].Path();
        writes.clear();
        throw CreateError(path, failure);
    }
    writes.clear();
}

} // namespace

std::string CreateErrorMessage(const std::string& path, int errnum) {
    return "Cannot create file \"" + path + "\". " + SystemErrorText(errnum);
}

PendingWrite::PendingWrite(PendingWrite&& other) noexcept
    : path_(std::move(other.path_)), target_(std::move(other.target_)),
      temp_(std::move(other.temp_)), data_(std::move(other.data_)),
      fd_(std::exchange(other.fd_, -1)), device_(other.device_), inPlace_(other.inPlace_),
      replaces_(other.replaces_), mount_(other.mount_), tempDirOwner_(other.tempDirOwner_),
      tempDirPrivate_(other.tempDirPrivate_), committed_(other.committed_) {
    other.temp_.clear();
}

PendingWrite& PendingWrite::operator=(PendingWrite&& other) noexcept {
    if (this != &other) {
        Discard();
        path_ = std::move(other.path_);
        target_ = std::move(other.target_);
        temp_ = std::move(other.temp_);
        other.temp_.clear();
        data_ = std::move(other.data_);
        fd_ = std::exchange(other.fd_, -1);
        device_ = other.device_;
        inPlace_ = other.inPlace_;
        replaces_ = other.replaces_;
        mount_ = other.mount_;
        tempDirOwner_ = other.tempDirOwner_;
        tempDirPrivate_ = other.tempDirPrivate_;
        committed_ = other.committed_;
    }
    return *this;
}

PendingWrite::~PendingWrite() {
    Discard();
}

void PendingWrite::CloseDescriptor() noexcept {
    if (!inPlace_ && fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void PendingWrite::Discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!committed_ && !temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
    data_.clear();
}

PendingWrite PrepareWrite(const std::string& path, std::string_view data) {
    return PrepareWriteFrom(path, [data](const ContentSink& sink) { sink(data); });
}

PendingWrite PrepareWriteFrom(const std::string& path, const ContentProducer& produce) {
    return SafeWriteAccess::Prepare(path, produce, nullptr);
}

PendingWrite SafeWriteAccess::Prepare(const std::string& path, const ContentProducer& produce,
                                      SparePool* pool) {
    PendingWrite w;
    w.path_ = path;
    w.target_ = ResolveTarget(path);

    struct stat st {};
    bool exists = true;
    if (::stat(w.target_.c_str(), &st) != 0) {
        if (errno != ENOENT)
            throw CreateError(path, errno);
        exists = false;
    }
    if (exists) {
        if (!S_ISREG(st.st_mode))
            throw CreateError(path, NotRegularFileError(st.st_mode));
        // A file without any write permission is read-only, also for the superuser.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            throw CreateError(path, EACCES);
        // Nobody may replace a file they may not write (an immutable file included).
        if (::faccessat(AT_FDCWD, w.target_.c_str(), W_OK, AT_EACCESS) != 0)
            throw CreateError(path, errno);
        w.inPlace_ = st.st_nlink > 1;
    }

    bool produced = false;
    if (!w.inPlace_) {
        int fd = -1;
        bool reused = false;
        if (pool != nullptr && exists) {
            const std::string dir = DirectoryOf(w.target_);
            pool->Describe(w, dir);
            fd = pool->Take(w, st.st_uid, st.st_dev, dir, w.temp_);
            reused = fd >= 0;
            if (reused)
                pool->Describe(w, DirectoryOf(w.temp_)); // where this spare lies
        }
        if (!reused)
            fd = CreateTemporary(w.target_, exists ? 0600 : 0666, w.temp_);
        if (fd >= 0) {
            w.fd_ = fd;
            w.replaces_ = exists;
            // Whatever the producer throws (a read failing half-way) passes on, and
            // w's destructor removes the temporary. A spare is written over from
            // its start and then cut to the new size.
            std::size_t size = 0;
            std::size_t started = 0; // bytes already on their way to the disk
            produce([&](std::string_view piece) {
                if (const int err = WriteAll(fd, piece, reused ? static_cast<off_t>(size) : -1))
                    throw CreateError(path, err);
                size += piece.size();
                // A large content is sent to the disk while the rest is still being
                // made, so that the flush before the rename has little left to wait for.
                if (size - started >= EarlyWritebackBytes) {
                    ::sync_file_range(fd, static_cast<off_t>(started),
                                      static_cast<off_t>(size - started), SYNC_FILE_RANGE_WRITE);
                    started = size;
                }
            });
            if (reused && ::ftruncate(fd, static_cast<off_t>(size)) != 0)
                throw CreateError(path, errno);
            produced = true;
            int err = exists ? CopyMetadata(w.target_, st, fd) : 0;
            struct stat tst {};
            if (err == 0 && ::fstat(fd, &tst) != 0)
                err = errno;
            if (err == 0) {
                w.device_ = tst.st_dev;
                return w;
            }
            if (err != KeepInPlace)
                throw CreateError(path, err);
            // The content is already in the temporary: take it back from there.
            std::string content(size, '\0');
            std::size_t got = 0;
            while (got < size) {
                const ssize_t n =
                    ::pread(fd, content.data() + got, size - got, static_cast<off_t>(got));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    throw CreateError(path, n < 0 ? errno : EIO);
                got += static_cast<std::size_t>(n);
            }
            w.Discard();
            w.data_ = std::move(content);
        } else if (!exists || (-fd != EACCES && -fd != EPERM)) {
            throw CreateError(path, -fd);
        }
        // A directory that takes no new file while the file itself is writable, or
        // a file whose owner or attributes a new file could not get: write in place.
        w.inPlace_ = true;
    }

    const int fd =
        ::open(w.target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0)
        throw CreateError(path, errno);
    w.fd_ = fd;
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        throw CreateError(path, errno);
    if (!S_ISREG(now.st_mode))
        throw CreateError(path, NotRegularFileError(now.st_mode));
    w.device_ = now.st_dev;
    if (!produced)
        produce([&](std::string_view piece) { w.data_.append(piece); });
    // Reserve the new size first, so that a full disk fails before any byte changes.
    // The size itself stays until the commit: the target is untouched until then.
    if (!w.data_.empty() &&
        ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(w.data_.size())) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        throw CreateError(path, errno);
    return w;
}

void CommitWrites(std::vector<PendingWrite>& writes) {
    CommitAll(writes, false);
}

void WriteWholeFile(const std::string& path, std::string_view data) {
    CommitWrite(PrepareWrite(path, data));
}

void CommitWrite(PendingWrite write) {
    std::vector<PendingWrite> one;
    one.push_back(std::move(write));
    CommitAll(one, true);
}

WriteBatch::WriteBatch() : spares_(std::make_unique<SparePool>()) {}

WriteBatch::~WriteBatch() = default;

PendingWrite WriteBatch::Prepare(const std::string& path, const ContentProducer& produce) {
    return SafeWriteAccess::Prepare(path, produce, spares_.get());
}

void WriteBatch::Commit(std::vector<PendingWrite>& writes) {
    CommitAll(writes, false, spares_.get());
}

void WriteFilesInOrder(std::size_t count, const std::function<std::string(std::size_t)>& pathOf,
                       const std::function<std::string_view(std::size_t)>& contentOf,
                       std::size_t chunkFiles, std::size_t chunkBytes) {
    WriteBatch batch; // deletes what is left of the replaced files, however this ends
    std::vector<PendingWrite> pending;
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        try {
            const std::string path = pathOf(i);
            const std::string_view data = contentOf(i);
            pending.push_back(batch.Prepare(path, [data](const ContentSink& sink) { sink(data); }));
            pending.back().CloseDescriptor();
            bytes += data.size();
        } catch (...) {
            // The files before this one are written; then this one's error is told.
            batch.Commit(pending);
            throw;
        }
        if (pending.size() >= std::max<std::size_t>(chunkFiles, 1) || bytes >= chunkBytes) {
            batch.Commit(pending);
            bytes = 0;
        }
    }
    batch.Commit(pending);
}
