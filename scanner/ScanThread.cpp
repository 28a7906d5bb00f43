#include "scanner/ScanThread.h"

#include "platform/PathStatus.h"
#include "scanner/HandOver.h"

#include <QTimer>

#include <atomic>
#include <optional>
#include <utility>

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
        // The end handler failed: the thread ends anyway. (When the owner has
        // gone, the call does not run, and the owner arranged the freeing.)
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
    if (!handOver_) {
        call();
    } else if (!handOver_->Call(call)) {
        // The owner has gone: nothing runs there any more, and the walk stops
        // before its next entry.
        Terminate();
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

// What the walk meets, as the scan's events: a folder's OnProcess, an entry's
// OnFileFound (through ReportFileFound and FEntry), and its gaps.
class TScanThread::Sink final : public DirWalkSink {
public:
    explicit Sink(TScanThread& thread) : thread_(thread) {}

    void Folder(const std::string& path) override {
        thread_.FCurrent = path;
        thread_.Synchronize([this] { thread_.CallProcess(); });
    }
    bool Entry(DirWalkEntry& entry) override {
        thread_.FEntry = std::move(entry.data);
        thread_.FCurrent = entry.folder;
        if (thread_.FStatus == 0) {
            thread_.ReportFileFound();
        }
        thread_.FEntry.Clear();
        // After a failure nothing more is reported and no folder is entered.
        return thread_.FStatus == 0;
    }
    void Leftover(std::string path) override { thread_.leftovers_.push_back(std::move(path)); }
    void Unread(UnreadFolder folder) override { thread_.unread_.push_back(std::move(folder)); }

private:
    TScanThread& thread_;
};

void TScanThread::WalkDirectory(const std::string& path, std::int32_t attributeMask,
                                const TCollection& masks) {
    if (FStatus != 0) {
        return;
    }
    DirWalkOptions options;
    options.recursive = FRecursive;
    options.attributeMask = attributeMask;
    options.masks = &masks;
    options.sameDevice = sameDevice_;
    options.device = device_;
    Sink sink(*this);
    WalkDirectoryTree(path, options, sink, stop_.get_token());
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
