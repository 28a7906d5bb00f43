#include "platform/KeptFolders.h"

#include "platform/FileStatus.h"
#include "platform/WriteTarget.h"

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace {

// A walk's list puts a folder's files among those of the folders below it, so a
// few folders are kept, the one used longest ago let go first.
constexpr std::size_t KeptPerThread = 4;
// Folders known to give a new file no extended attribute, shared by the threads.
constexpr std::size_t PlainFoldersKnown = 64;

std::atomic<unsigned> generation{0};

struct KeptFolder {
    std::string rel;
    FolderFacts facts;
    unsigned generation = 0;
    unsigned long long used = 0;
};

struct Kept {
    std::string root;
    UniqueFd rootFd;
    std::vector<KeptFolder> folders;
    unsigned long long uses = 0;
};

thread_local KeepFolders* scope = nullptr;
thread_local std::unique_ptr<Kept> kept;

struct PlainFolder {
    dev_t device;
    ino_t inode;
    uid_t owner;
};

std::mutex plainMutex;
std::vector<PlainFolder> plainFolders; // the newest last

int KnownPlain(const FolderFacts& f) {
    const std::lock_guard<std::mutex> lock(plainMutex);
    for (const PlainFolder& p : plainFolders) {
        if (p.device == f.device && p.inode == f.inode && p.owner == f.owner)
            return 1;
    }
    return -1;
}

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
    // Only its owner (or the superuser) changes what a new file inherits there.
    facts.plainNewFiles = KnownPlain(facts);
    return 0;
}

bool Keep(const std::string& root, const std::string& rel, FolderFacts& out, int& err);

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
                       int& err) noexcept {
    err = 0;
    if (scope == nullptr)
        return false;
    try {
        return Keep(root, rel, out, err);
    } catch (...) {
        // No memory to keep it: the caller opens the folder itself.
        if (kept)
            kept->folders.clear();
        err = 0;
        return false;
    }
}

namespace {

bool Keep(const std::string& root, const std::string& rel, FolderFacts& out, int& err) {
    if (!kept)
        kept = std::make_unique<Kept>();
    Kept& k = *kept;
    const unsigned now = generation.load(std::memory_order_acquire);
    if (k.root != root || !k.rootFd.Valid()) {
        // The walked folder as given, once: the folder the walk listed.
        k.folders.clear();
        k.rootFd.Reset();
        k.root = root;
        if ((err = OpenWalkedFolder(root, k.rootFd)) != 0)
            return true;
    }
    KeptFolder* slot = nullptr;
    for (KeptFolder& f : k.folders) {
        if (f.rel == rel) {
            slot = &f;
            break;
        }
    }
    if (slot != nullptr && slot->generation == now && slot->facts.fd.Valid()) {
        slot->used = ++k.uses;
        out = slot->facts;
        return true;
    }
    if (slot == nullptr) {
        if (k.folders.size() < KeptPerThread) {
            slot = &k.folders.emplace_back();
        } else {
            slot = &k.folders.front();
            for (KeptFolder& f : k.folders) {
                if (f.used < slot->used)
                    slot = &f;
            }
        }
    }
    *slot = KeptFolder();
    UniqueFd fd;
    if ((err = OpenBelow(k.rootFd.Get(), rel, fd)) != 0)
        return true;
    FolderFacts facts;
    if ((err = Describe(fd.Get(), facts)) != 0)
        return true;
    facts.fd.Reset(fd.Release());
    slot->rel = rel;
    slot->facts = facts;
    slot->generation = now;
    slot->used = ++k.uses;
    out = std::move(facts);
    return true;
}

} // namespace

void NotePlainNewFiles(dev_t device, ino_t inode, bool plain) noexcept {
    if (!kept)
        return;
    const FolderFacts* facts = nullptr;
    for (KeptFolder& f : kept->folders) {
        if (f.facts.device == device && f.facts.inode == inode) {
            f.facts.plainNewFiles = plain ? 1 : 0;
            facts = &f.facts;
        }
    }
    const std::lock_guard<std::mutex> lock(plainMutex);
    const auto it =
        std::find_if(plainFolders.begin(), plainFolders.end(),
                     [&](const PlainFolder& p) { return p.device == device && p.inode == inode; });
    if (it != plainFolders.end())
        plainFolders.erase(it);
    if (!plain || facts == nullptr)
        return;
    if (plainFolders.size() >= PlainFoldersKnown)
        plainFolders.erase(plainFolders.begin());
    try {
        plainFolders.push_back({device, inode, facts->owner});
    } catch (...) {
        // Not known then: the next temporary there asks again.
    }
}
