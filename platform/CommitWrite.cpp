#include "platform/CommitWrite.h"

#include "platform/DescriptorIO.h"
#include "platform/KeptFolders.h"
#include "platform/RetiredFiles.h"
#include "platform/WriteState.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// The descriptor to flush a replacement's temporary through, opened again
// where it was let go.
WriteFault TemporaryFd(WriteState& s, int& fd) {
    TemporaryFile& temp = s.Replacement().temp;
    if (!temp.fd.Valid()) {
        if (temp.name.empty())
            return SystemFault(EBADF);
        if (const int err = s.Folder())
            return SystemFault(err);
        if (const WriteFault f = OpenTemporaryAgain(s.target.folder.Get(), temp, 0, false))
            return f;
    }
    fd = temp.fd.Get();
    return {};
}

WriteFault CommitReplacement(WriteState& s, RetiredFiles* retired) {
    if (const int err = s.Folder())
        return SystemFault(err);
    const int folder = s.target.folder.Get();
    ReplaceByTemporary& r = s.Replacement();
    const char* temp = r.temp.name.c_str();
    const char* name = s.target.name.c_str();

    if (r.replaces) {
        // Exchanged, both files can be looked at afterwards, and put back: what
        // took the target's place must be the temporary as written (a file
        // renamed over its name, or made anew there, is not), and what left it
        // the file as read.
        if (::renameat2(folder, temp, folder, name, RENAME_EXCHANGE) == 0) {
            struct stat now {};
            struct stat old {};
            WriteFault f;
            if (::fstatat(folder, name, &now, AT_SYMLINK_NOFOLLOW) != 0 ||
                !r.temp.SameFileAsWritten(now))
                f = ReplacedFault;
            else if (::fstatat(folder, temp, &old, AT_SYMLINK_NOFOLLOW) != 0)
                f = SystemFault(errno);
            else if (!S_ISREG(old.st_mode))
                f = SystemFault(NotRegularFileError(old.st_mode)); // a folder took its place
            else if (!StillAsRead(old, s.readAs))
                f = ChangedFault;
            if (f) {
                ::renameat2(folder, temp, folder, name, RENAME_EXCHANGE);
                return f;
            }
            if (retired != nullptr)
                retired->Add(s.target, r.temp.name, old);
            else
                ::unlinkat(folder, temp, 0);
            return {};
        }
        const int exchangeError = errno;
        if (exchangeError == ENOENT) {
            // Which of the two is gone: the temporary, or the file read.
            if (const WriteFault f = TemporaryStillThere(folder, r.temp))
                return f;
            if (s.readAs.known)
                return ChangedFault; // deleted since it was read: not created again
        }
        if (exchangeError != EINVAL && exchangeError != ENOSYS && exchangeError != ENOENT)
            return SystemFault(exchangeError);
    }
    // A plain rename cannot be undone: the temporary is looked at before it.
    if (const WriteFault f = TemporaryStillThere(folder, r.temp))
        return f;
    if (r.replaces) {
        // No exchange on this file system: check, then rename.
        struct stat old {};
        if (::fstatat(folder, name, &old, AT_SYMLINK_NOFOLLOW) == 0) {
            if (!S_ISREG(old.st_mode))
                return SystemFault(NotRegularFileError(old.st_mode));
            if (!StillAsRead(old, s.readAs))
                return ChangedFault;
        } else if (s.readAs.known) {
            return ChangedFault;
        }
    }
    if (::renameat2(folder, temp, folder, name, 0) != 0)
        return SystemFault(errno);
    struct stat now {};
    if (::fstatat(folder, name, &now, AT_SYMLINK_NOFOLLOW) != 0 || !r.temp.SameFile(now))
        return ReplacedFault;
    return {};
}

WriteFault CommitInPlace(WriteState& s) {
    WriteInPlace& w = s.Direct();
    if (!w.fd.Valid()) {
        if (const int err = s.Folder())
            return SystemFault(err);
        constexpr int Flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
        w.fd.Reset(::openat(s.target.folder.Get(), s.target.name.c_str(),
                            (w.oldKnown ? O_RDWR : O_WRONLY) | Flags));
        if (!w.fd.Valid())
            return errno == ENOENT && s.readAs.known ? ChangedFault : SystemFault(errno);
    }
    const int fd = w.fd.Get();
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return SystemFault(errno);
    if (st.st_dev != w.device || st.st_ino != w.inode || st.st_size != w.oldSize ||
        !StillAsRead(st, s.readAs))
        return ChangedFault;
    int hold = -1;
    if (!w.hold.name.empty()) {
        if (!w.hold.fd.Valid()) {
            if (const int err = s.Folder())
                return SystemFault(err);
            if (const WriteFault f =
                    OpenTemporaryAgain(s.target.folder.Get(), w.hold, O_NONBLOCK, true))
                return f;
        }
        hold = w.hold.fd.Get();
    }
    // The new bytes from..from+count, or the old ones, written at the same place.
    const auto putNew = [&](std::size_t from, std::size_t count) {
        const auto at = static_cast<std::int64_t>(from);
        return hold >= 0 ? CopyBytes(hold, at, fd, at, count)
                         : WriteAllAt(fd, std::string_view(w.data).substr(from, count), at);
    };
    const auto putOld = [&] {
        const auto size = static_cast<std::size_t>(w.oldSize);
        return hold >= 0 ? CopyBytes(hold, static_cast<std::int64_t>(w.newSize), fd, 0, size)
                         : WriteAllAt(fd, w.old, 0);
    };
    // Without fallocate, the new size is made sure of by writing the part beyond
    // the old end first; when that fails, the file is cut back to its old bytes.
    if (w.growAtCommit) {
        const auto oldSize = static_cast<std::size_t>(w.oldSize);
        int err = putNew(oldSize, w.newSize - oldSize);
        if (err == 0 && ::fdatasync(fd) != 0)
            err = errno;
        if (err != 0) {
            (void)::ftruncate(fd, w.oldSize);
            (void)RestorePrivileges(fd, w.keep);
            (void)::fdatasync(fd);
            return SystemFault(err);
        }
    }
    int err = putNew(0, w.newSize);
    if (err == 0 && ::ftruncate(fd, static_cast<off_t>(w.newSize)) != 0)
        err = errno;
    // The write took the set-user-ID and set-group-ID bits and the capabilities
    // away; they are given back before the file is made durable.
    if (err == 0)
        err = RestorePrivileges(fd, w.keep);
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (err != 0 && w.oldKnown) {
        // Put the old bytes back: after a failure the file is as it was.
        if (putOld() == 0)
            (void)::ftruncate(fd, w.oldSize);
        (void)RestorePrivileges(fd, w.keep);
        (void)::fsync(fd);
    }
    return SystemFault(err);
}

WriteFault CommitOne(WriteState& s, RetiredFiles* retired) {
    if (const WriteFault f = s.InPlace() ? CommitInPlace(s) : CommitReplacement(s, retired))
        return f;
    if (s.InPlace()) {
        // Written in place: the file as this write left it, through its own descriptor.
        WriteInPlace& w = s.Direct();
        struct stat st {};
        s.writtenAs =
            w.fd.Valid() && ::fstat(w.fd.Get(), &st) == 0 ? FileStamp::Of(st) : FileStamp{};
        std::string().swap(w.data);
        std::string().swap(w.old);
        w.fd.Reset();
        s.RemoveHold();
    } else {
        s.Replacement().temp.name.clear();
        s.Replacement().temp.fd.Reset();
    }
    s.committed = true;
    s.folderUse.LetGo(); // a replaced file kept by the batch holds the folder itself
    return {};
}

// The last folder a batch worked in, shared by the writes that follow in it, so
// that a chunk opens each folder once.
class FolderCache {
public:
    // Gives s this folder when it is the folder s was prepared in (the same
    // device and inode: the very folder, wherever its path leads now).
    void Attach(WriteState& s) {
        WriteTarget& t = s.target;
        if (!t.folder.Valid() && fd_.Valid() && device_ == t.folderDevice &&
            inode_ == t.folderInode)
            t.folder = fd_;
    }
    // s's folder, open and checked to be the one it was prepared in.
    void Remember(const WriteState& s) {
        fd_ = s.target.folder;
        device_ = s.target.folderDevice;
        inode_ = s.target.folderInode;
    }

private:
    SharedFd fd_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

} // namespace

void CommitInOrder(std::vector<PendingWrite>& writes, bool perFileSync, RetiredFiles* retired,
                   const CommittedFile& committed) {
    const std::size_t n = writes.size();
    auto fail = [&writes](std::size_t i, WriteFault f) {
        WriteError error(writes[i].Path(), f, i);
        writes.clear(); // removes the temporaries of this one and the rest
        throw error;
    };
    // A write moved from (or never prepared) fails where it stands.
    std::size_t firstFailure = n;
    WriteFault failure;
    for (std::size_t i = 0; i < n && firstFailure == n; ++i) {
        if (writes[i].State() == nullptr) {
            firstFailure = i;
            failure = SystemFault(EBADF);
        }
    }
    // Each folder is resolved afresh by this commit, and so by every worker after it.
    RenewKeptFolders();
    FolderCache folders;
    auto folderOf = [&folders](WriteState& s) {
        folders.Attach(s);
        if (s.Folder() == 0)
            folders.Remember(s);
    };
    // Durability of the temporaries: one syncfs per file system; where that fails
    // (or for a single file), fsync each file.
    std::vector<dev_t> synced;
    std::vector<dev_t> failed;
    if (!perFileSync) {
        for (std::size_t i = 0; i < firstFailure; ++i) {
            WriteState& s = *writes[i].State();
            if (s.InPlace())
                continue;
            const dev_t dev = s.Replacement().temp.device;
            if (std::find(synced.begin(), synced.end(), dev) != synced.end() ||
                std::find(failed.begin(), failed.end(), dev) != failed.end())
                continue;
            folderOf(s);
            // Any descriptor on the file system will do: the temporary's folder.
            const bool done = s.Folder() == 0 && ::syncfs(s.target.folder.Get()) == 0;
            (done ? synced : failed).push_back(dev);
            s.Replacement().temp.fd.Reset();
        }
    }
    for (std::size_t i = 0; i < firstFailure; ++i) {
        WriteState& s = *writes[i].State();
        if (s.InPlace())
            continue;
        if (perFileSync ||
            std::find(synced.begin(), synced.end(), s.Replacement().temp.device) == synced.end()) {
            folderOf(s);
            int fd = -1;
            WriteFault f = TemporaryFd(s, fd);
            if (!f && ::fsync(fd) != 0)
                f = SystemFault(errno);
            if (f) {
                firstFailure = i;
                failure = f;
                break;
            }
            s.Replacement().temp.fd.Reset();
        }
    }
    // Put in place in order; each folder is flushed once the files put there
    // before the next folder's are in, and a folder that cannot be flushed fails
    // the file that was last put there.
    SharedFd folderToFlush;
    dev_t flushDevice = 0;
    ino_t flushInode = 0;
    std::size_t lastInFolder = 0;
    auto flush = [&] {
        if (folderToFlush.Valid() && ::fsync(folderToFlush.Get()) != 0) {
            const int err = errno;
            folderToFlush.Reset();
            fail(lastInFolder, SystemFault(err));
        }
        folderToFlush.Reset();
    };
    for (std::size_t i = 0; i < firstFailure; ++i) {
        WriteState& s = *writes[i].State();
        folderOf(s);
        const bool inPlace = s.InPlace();
        if (const WriteFault f = CommitOne(s, retired)) {
            flush();
            fail(i, f);
        }
        if (committed)
            committed(i, s.writtenAs);
        if (!inPlace) {
            // The folder as found at preparation: known without a look at the disk.
            const WriteTarget& target = s.target;
            if (!folderToFlush.Valid() || target.folderDevice != flushDevice ||
                target.folderInode != flushInode) {
                flush();
                if (s.Folder() == 0)
                    folderToFlush = s.target.folder;
                flushDevice = target.folderDevice;
                flushInode = target.folderInode;
            }
            lastInFolder = i;
        }
        s.CloseDescriptors();
    }
    flush();
    if (firstFailure < n)
        fail(firstFailure, failure);
    writes.clear();
}

void CommitWrites(std::vector<PendingWrite>& writes) {
    CommitInOrder(writes, false, nullptr, {});
}

void CommitWrite(PendingWrite write) {
    std::vector<PendingWrite> one;
    one.push_back(std::move(write));
    CommitInOrder(one, true, nullptr, {});
}

void WriteWholeFile(const std::string& path, std::string_view data, const WriteOptions& options) {
    CommitWrite(PrepareWrite(path, data, options));
}
