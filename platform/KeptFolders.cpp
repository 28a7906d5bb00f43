#include "platform/KeptFolders.h"

#include "platform/FileStatus.h"
#include "platform/WriteTarget.h"

#include <atomic>
#include <fcntl.h>
#include <memory>

namespace {

std::atomic<unsigned> generation{0};

struct Kept {
    std::string root;
    UniqueFd rootFd;
    std::string rel;
    FolderFacts folder;
    unsigned generation = 0;
};

thread_local KeepFolders* scope = nullptr;
thread_local std::unique_ptr<Kept> kept;

int Describe(int fd, FolderFacts& facts) {
    struct stat st {};
    FileFlags flags;
    if (const int err = StatusWithFlags(fd, "", AT_EMPTY_PATH, st, flags))
        return err;
    facts.device = st.st_dev;
    facts.inode = st.st_ino;
    facts.owner = st.st_uid;
    facts.group = st.st_gid;
    facts.mode = st.st_mode;
    facts.appendOnly = flags.appendOnly;
    facts.plainNewFiles = -1;
    return 0;
}

} // namespace

KeepFolders::KeepFolders() : outer_(scope) {
    scope = this;
}

KeepFolders::~KeepFolders() {
    scope = outer_;
    if (scope == nullptr)
        kept.reset();
}

void RenewKeptFolders() noexcept {
    generation.fetch_add(1, std::memory_order_release);
}

bool KeptFolderBeneath(const std::string& root, const std::string& rel, FolderFacts& out,
                       int& err) {
    err = 0;
    if (scope == nullptr)
        return false;
    if (!kept)
        kept = std::make_unique<Kept>();
    Kept& k = *kept;
    const unsigned now = generation.load(std::memory_order_acquire);
    if (k.folder.fd.Valid() && k.generation == now && k.root == root && k.rel == rel) {
        out = k.folder;
        return true;
    }
    const FolderFacts before = std::move(k.folder);
    k.folder = FolderFacts();
    if (!k.rootFd.Valid() || k.root != root) {
        // The walked folder as given, once: the folder the walk listed.
        k.rootFd.Reset();
        k.root = root;
        if ((err = OpenWalkedFolder(root, k.rootFd)) != 0)
            return true;
    }
    UniqueFd fd;
    if ((err = OpenBelow(k.rootFd.Get(), rel, fd)) != 0)
        return true;
    FolderFacts facts;
    if ((err = Describe(fd.Get(), facts)) != 0)
        return true;
    facts.fd.Reset(std::move(fd));
    // Only its owner (or the superuser) changes what a new file inherits there.
    if (before.device == facts.device && before.inode == facts.inode && before.owner == facts.owner)
        facts.plainNewFiles = before.plainNewFiles;
    k.rel = rel;
    k.generation = now;
    k.folder = facts;
    out = std::move(facts);
    return true;
}

void NotePlainNewFiles(dev_t device, ino_t inode, bool plain) noexcept {
    if (kept && kept->folder.device == device && kept->folder.inode == inode)
        kept->folder.plainNewFiles = plain ? 1 : 0;
}
