#include "platform/TemporaryLocks.h"

#include "platform/TempNames.h"
#include "platform/UniqueFd.h"
#include "platform/WriteTarget.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::chrono::seconds LockWait{10};

struct HeldFolder {
    dev_t device;
    ino_t inode;
    SharedFd fd; // none where the file system takes no lock on a folder
    std::size_t uses;
};

std::mutex& HeldMutex() {
    static std::mutex m;
    return m;
}

// Few folders are held at once: a batch works folder after folder.
std::vector<HeldFolder>& Held() {
    static std::vector<HeldFolder> held;
    return held;
}

std::vector<HeldFolder>::iterator Find(dev_t device, ino_t inode) {
    std::vector<HeldFolder>& held = Held();
    return std::find_if(held.begin(), held.end(), [&](const HeldFolder& h) {
        return h.device == device && h.inode == inode;
    });
}

// The shared lock on a descriptor of its own; 0, or errno.
int LockShared(int fd) {
    const auto until = std::chrono::steady_clock::now() + LockWait;
    for (;;) {
        if (::flock(fd, LOCK_SH | LOCK_NB) == 0)
            return 0;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= until)
            return errno;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace

int HoldTemporaryFolder(const SharedFd& folder, dev_t device, ino_t inode) {
    std::lock_guard<std::mutex> lock(HeldMutex());
    const auto it = Find(device, inode);
    if (it != Held().end()) {
        ++it->uses;
        return 0;
    }
    // The folder's description, kept open here while held: closing the caller's
    // descriptor never lets the lock go.
    SharedFd fd = folder;
    if (!fd.Valid())
        return EBADF;
    if (const int err = LockShared(fd.Get())) {
        if (err == EWOULDBLOCK)
            return err;
        fd.Reset(); // no lock on this file system: no removal can take one either
    }
    Held().push_back(HeldFolder{device, inode, std::move(fd), 1});
    return 0;
}

void RetainTemporaryFolder(dev_t device, ino_t inode) noexcept {
    std::lock_guard<std::mutex> lock(HeldMutex());
    const auto it = Find(device, inode);
    if (it != Held().end())
        ++it->uses;
}

void ReleaseTemporaryFolder(dev_t device, ino_t inode) noexcept {
    std::lock_guard<std::mutex> lock(HeldMutex());
    const auto it = Find(device, inode);
    if (it == Held().end() || --it->uses > 0)
        return;
    Held().erase(it); // closing its descriptor lets the lock go
}

int HeldFolderDescriptor(dev_t device, ino_t inode) noexcept {
    std::lock_guard<std::mutex> lock(HeldMutex());
    const auto it = Find(device, inode);
    return it == Held().end() ? -1 : it->fd.Get();
}

std::size_t TemporaryFoldersHeld() noexcept {
    std::lock_guard<std::mutex> lock(HeldMutex());
    return Held().size();
}

void RemoveStaleTemporaries(const std::string& root, const std::string& relFolder,
                            const std::vector<std::string>& names, StaleTemporaries& result) {
    UniqueFd folder;
    if (const int err = OpenFolderBeneath(root, relFolder, folder)) {
        if (err != ENOENT) // the folder is gone, and its leftovers with it
            result.failures.emplace_back(std::string(), err);
        return;
    }
    if (::flock(folder.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            result.inUse += names.size();
        else
            result.failures.emplace_back(std::string(), errno);
        return;
    }
    // No live run has a temporary here, and none makes one until the lock goes
    // with the descriptor.
    const uid_t self = ::geteuid();
    for (const std::string& name : names) {
        if (!IsWriteTemporaryName(name)) {
            ++result.notOurs;
            continue;
        }
        struct stat st {};
        if (::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                result.failures.emplace_back(name, errno);
            continue;
        }
        if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != self) {
            ++result.notOurs;
            continue;
        }
        if (::unlinkat(folder.Get(), name.c_str(), 0) != 0) {
            if (errno != ENOENT)
                result.failures.emplace_back(name, errno);
            continue;
        }
        ++result.removed;
    }
}
