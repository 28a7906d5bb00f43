#include "scanner/ScanThread.h"

#include "platform/PathStatus.h"
#include "platform/Paths.h"

#include "platform/TempNames.h"
#include "scanner/HandOver.h"

#include <QTimer>

#include <cerrno>
#include <optional>

#if defined(__SANITIZE_THREAD__)
#define VX_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VX_TSAN 1
#endif
#endif
#if defined(VX_TSAN)
#include <sanitizer/tsan_interface.h>
#endif

namespace {
std::atomic<int> liveThreads{0};

// Folders this near the start keep their descriptors while the walk is below
// them; deeper ones close theirs before it descends and reopen afterwards, so a
// walk holds about this many descriptors however deep the tree.
constexpr std::size_t kHeldLevels = 32;
} // namespace

TScanThread::TScanThread(bool recursive, std::int32_t attributeMask, std::string files,
                         std::string directory, TScanDrives drives, TScanStrategy strategy,
                         TDoFileFound onFileFound, TDoProcess onProcess)
    : FOnFileFound(std::move(onFileFound)), FOnProcess(std::move(onProcess)), FRecursive(recursive),
      FStrategy(strategy), FDrives(drives), FDirectory(std::move(directory)),
      FAttributes(attributeMask), FFiles(std::move(files)), DriveService(&SystemDrives()),
      FileTimeService(&SystemFileTime()) {
    liveThreads.fetch_add(1);
}

TScanThread::~TScanThread() {
#if defined(VX_TSAN)
    // The end of run() happens before this, through Qt's own (unseen) wake-up.
    __tsan_acquire(this);
#endif
    liveThreads.fetch_sub(1);
}

int TScanThread::LiveCount() {
    return liveThreads.load();
}

void TScanThread::SetFreeOnTerminate(bool on) {
    freeOnTerminate_ = on;
}

void TScanThread::FreeWhenFinished() {
    if (freeQueued_) {
        return;
    }
    freeQueued_ = true;
    // Runs on the owner's thread, where this object lives. The body may still
    // wait for its last call (when that call opened a nested event loop, such as
    // a message box): then look again a little later instead of waiting here.
    QMetaObject::invokeMethod(
        this, [this] { DeleteWhenFinished(); }, Qt::QueuedConnection);
}

void TScanThread::DeleteWhenFinished() {
    if (!isFinished()) {
        QTimer::singleShot(5, this, [this] { DeleteWhenFinished(); });
        return;
    }
    wait();
    delete this;
}

void TScanThread::run() {
    if (!Terminated()) {
        Execute();
    }
    try {
        // The end handler, then the freeing, on the owner's thread.
        Synchronize([this] {
            if (freeOnTerminate_) {
                FreeWhenFinished(); // queued: runs after the end handler
            }
            if (OnTerminate) {
                OnTerminate(this);
            }
        });
    } catch (...) {
        // The owner has gone (it arranged the freeing then), or its end handler
        // failed: the thread ends anyway.
    }
#if defined(VX_TSAN)
    __tsan_release(this);
#endif
}

void TScanThread::Execute() {
    FStatus = 0;
    unread_.clear();
    leftovers_.clear();
    try {
        RunScan();
    } catch (const std::exception& e) {
        FCurrent = e.what();
        FStatus = -1;
    } catch (...) {
        FCurrent = "Unknown error";
        FStatus = -1;
    }
}

void TScanThread::Synchronize(const std::function<void()>& call) {
    if (handOver_) {
        handOver_->Call(call);
    } else {
        call();
    }
}

void TScanThread::RunScan() {
    TCollection masks;
    ParseMaskList(masks, FFiles);
    switch (FStrategy) {
    case ssGlobal:
        WalkAllDrives(masks);
        break;
    case ssSpecifiedDisk: {
        std::string root = DriveService->MountPointOf(FDirectory);
        WalkMount(root.empty() ? std::string("/") : root, masks);
        break;
    }
    case ssSpecifiedDir:
        WalkDirectory(FDirectory, FAttributes, masks);
        break;
    }
}

void TScanThread::WalkAllDrives(const TCollection& masks) {
    for (const TDriveInfo& drive : DriveService->Drives()) {
        std::optional<TScanDrive> kind;
        switch (drive.Type) {
        case dtRemovable:
            kind = sdFloppy;
            break;
        case dtFixed:
            kind = sdHard;
            break;
        case dtRemote:
            kind = sdNetwork;
            break;
        case dtCDROM:
            kind = sdCDROM;
            break;
        case dtRAMDisk:
            kind = sdRAM;
            break;
        default:
            break; // unknown, or no root directory: never walked
        }
        if (kind && FDrives.contains(*kind)) {
            WalkMount(drive.MountPoint, masks);
        }
    }
}

void TScanThread::WalkMount(const std::string& mountPoint, const TCollection& masks) {
    const PathStatus status = StatusOfPath(mountPoint);
    sameDevice_ = status.exists;
    device_ = status.device;
    try {
        WalkDirectory(mountPoint, FAttributes, masks);
    } catch (...) {
        sameDevice_ = false;
        throw;
    }
    sameDevice_ = false;
}

void TScanThread::WalkDirectory(const std::string& path, std::int32_t attributeMask,
                                const TCollection& masks) {
    levels_.clear();
    WalkLevel(nullptr, path, attributeMask, masks);
}

void TScanThread::WalkLevel(const char* nameInParent, const std::string& path,
                            std::int32_t attributeMask, const TCollection& masks) {
    if (FStatus != 0) {
        return;
    }
    FCurrent = path;
    Synchronize([this] { CallProcess(); });

    // A subdirectory is opened through its parent's descriptor, never through a link.
    const std::size_t depth = levels_.size();
    std::optional<TDirListing> listing;
    if (depth > 0) {
        listing.emplace(*levels_.back().listing, nameInParent);
    } else {
        listing.emplace(path);
    }
    if (!listing->IsOpen()) {
        // A folder gone or made a file since it was listed has nothing to miss.
        if (listing->Error() != ENOENT && listing->Error() != ENOTDIR) {
            NoteUnread(path, listing->Error());
        }
        return;
    }
    levels_.push_back(Level{&*listing, depth >= kHeldLevels ? nameInParent : std::string()});
    struct Pop {
        std::vector<Level>& levels;
        ~Pop() { levels.pop_back(); }
    } pop{levels_};
    if (depth > kHeldLevels) {
        levels_[depth - 1].listing->Suspend(); // nameInParent is not used after this
    }

    int unread = 0;
    while (!Terminated() && listing->Next()) {
        if (listing->IsDotOrDotDot()) {
            continue;
        }
        const std::string_view name(listing->Name(), listing->NameLength());
        // Another run's file in the middle of being written: not the user's. A
        // folder is never a temporary, whatever its name.
        if (IsWriteTemporaryName(name) && !listing->IsRealDirectory()) {
            leftovers_.push_back(JoinPath(path, name));
            continue;
        }
        if ((listing->AttributesFor(attributeMask) & attributeMask) == attributeMask &&
            MatchAnyMask(masks, name)) {
            if (!listing->Fill(FEntry)) {
                continue; // gone since it was listed
            }
            FCurrent = path;
            if (FStatus == 0) {
                ReportFileFound();
            }
        }
        if (FRecursive && listing->IsRealDirectory()) {
            dev_t device = 0;
            if (!sameDevice_ ||
                (listing->DeviceOf(device) && static_cast<std::uint64_t>(device) == device_)) {
                WalkLevel(listing->Name(), JoinPath(path, name), attributeMask, masks);
                if (!listing->IsOpen() && listing->HasPending()) {
                    if (FStatus != 0) {
                        break; // nothing more is reported
                    }
                    unread = ReopenLevel(depth);
                    if (unread != 0) {
                        break;
                    }
                }
            }
        }
        FEntry.Clear();
    }
    if (unread == 0) {
        unread = listing->Error();
    }
    if (unread != 0) {
        NoteUnread(path, unread);
    }
}

// Reopens the suspended folder at depth from its nearest open ancestor, each
// folder on the way by its name and checked to be the one walked before, so a
// folder swapped for a link or another folder meanwhile is not entered. Folders
// on the way are closed again. Returns 0 or the errno of the step that failed.
int TScanThread::ReopenLevel(std::size_t depth) {
    std::size_t first = depth;
    while (first > 0 && !levels_[first - 1].listing->IsOpen()) {
        --first;
    }
    if (first == 0) {
        return EBADF; // the start folder is never closed
    }
    int error = 0;
    for (std::size_t i = first; i <= depth && error == 0; ++i) {
        error = levels_[i].listing->Reopen(*levels_[i - 1].listing, levels_[i].name.c_str());
        if (i > first) {
            levels_[i - 1].listing->Suspend();
        }
    }
    return error;
}

void TScanThread::NoteUnread(const std::string& path, int error) {
    unread_.push_back(UnreadFolder{path, error});
}

void TScanThread::ReportFileFound() {
    Synchronize([this] { CallFileFound(); });
}

void TScanThread::CallProcess() {
    if (FOnProcess) {
        FOnProcess(FCount, FTotalSize, FCurrent, 0, 0);
    }
}

void TScanThread::CallFileFound() {
    if (!FOnFileFound) {
        return;
    }
    ++FCount;
    // Files of 4 GiB and more count with the low 32 bits of their size, so the
    // total stays the true total modulo 2^32.
    const std::uint32_t size = FEntry.SizeLow;
    FTotalSize += size;

    double dateTime = 0.0;
    TLocalTime local;
    TDosDateTime dos;
    const bool localOk = FileTimeService->ToLocalTime(FEntry.LastWriteTime, local);
    if (localOk && LocalTimeToDosDateTime(local, dos)) {
        dateTime = DosDateTimeToDateTime(dos);
    } else {
        // Outside 1980 to 2107: the scan reports this entry and no later one. The
        // entry still carries its own local time (0 when even that is unknown).
        FStatus = -1;
        dateTime = localOk ? LocalTimeToDateTime(local) : 0.0;
    }
    FOnFileFound(FEntry.Name, FCurrent, FEntry.Attributes, static_cast<std::int32_t>(size),
                 dateTime);
}
